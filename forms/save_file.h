// Saving what the user exports: a file chooser that a test can replace, and a write that never
// leaves a partial file under the chosen name.
#pragma once

#include <QString>
#include <functional>

class QIODevice;
class QWidget;

namespace kestrune {

// Asks where to save; an empty result means the user changed their mind. Owners always hold one.
using SaveFileChooser = std::function<QString(QWidget* parent, const QString& caption,
                                              const QString& suggestedName, const QString& filter)>;
// The platform's save-file chooser (it asks before replacing a file).
QString chooseSaveFile(QWidget* parent, const QString& caption, const QString& suggestedName,
                       const QString& filter);

// Shows a message to the user; a test replaces it to read the text.
using MessageSink = std::function<void(const QString& title, const QString& text)>;
// A warning box over parent.
MessageSink warningBox(QWidget* parent);

enum class SaveOutcome { Saved, Cancelled, Failed };
// Writes the content; answers Saved to keep it, Cancelled or Failed to drop it.
using SaveFill = std::function<SaveOutcome(QIODevice& out)>;

// Writes through fill into a temporary file beside path, then puts it in place under that name
// (as WholeFileWriter does: a link stays a link, a replaced file keeps its mode, a FIFO, a device
// or a write-protected file is never replaced). When fill drops the content or anything fails,
// the temporary goes away and a file already at path stays as it was. On failure *error says why.
SaveOutcome saveFileWhole(const QString& path, const SaveFill& fill, QString* error);

// saveFileWhole, with a failure told to the user as "<what> failed: could not write <path>
// (<reason>)". Returns the outcome.
SaveOutcome saveFileTelling(const QString& path, const QString& what, const SaveFill& fill,
                            const MessageSink& tell);

}  // namespace kestrune

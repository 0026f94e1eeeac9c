#include "forms/save_file.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>

namespace kestrune {

QString chooseSaveFile(QWidget* parent, const QString& caption, const QString& suggestedName,
                       const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, QDir::current().filePath(suggestedName),
                                      filter);
}

MessageSink warningBox(QWidget* parent) {
  return [parent](const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
  };
}

SaveOutcome saveFileWhole(const QString& path, const SaveFill& fill, QString* error) {
  QSaveFile file(path);
  // Never write straight into the chosen file: a half-written export must not replace it.
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = file.errorString();
    return SaveOutcome::Failed;
  }
  const SaveOutcome filled = fill(file);
  if (filled != SaveOutcome::Saved) {
    if (error) *error = file.errorString();
    file.cancelWriting();
    return filled;
  }
  if (!file.commit()) {
    if (error) *error = file.errorString();
    return SaveOutcome::Failed;
  }
  return SaveOutcome::Saved;
}

SaveOutcome saveFileTelling(const QString& path, const QString& what, const SaveFill& fill,
                            const MessageSink& tell) {
  QString error;
  const SaveOutcome outcome = saveFileWhole(path, fill, &error);
  if (outcome == SaveOutcome::Failed && tell) {
    tell(what, QStringLiteral("%1 failed: could not write %2 (%3)")
                   .arg(what, QDir::toNativeSeparators(path), error));
  }
  return outcome;
}

}  // namespace kestrune

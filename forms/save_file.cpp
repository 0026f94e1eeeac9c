#include "forms/save_file.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <cerrno>
#include <cstring>

#include "settings/regular_file.h"

namespace kestrune {

namespace {

// What a fill writes goes straight into the new file beside the chosen one.
class WholeFileDevice : public QIODevice {
 public:
  explicit WholeFileDevice(WholeFileWriter& file) : file_(file) {}

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    return file_.write(data, static_cast<std::size_t>(size)) ? size : -1;
  }

 private:
  WholeFileWriter& file_;
};

// The writer gives EINVAL only for a path that is a FIFO, a device or a folder.
QString errorText(int error) {
  if (error == EINVAL) return QStringLiteral("not a regular file");
  return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

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
  // Never write straight into the chosen file: a half-written export must not replace it.
  WholeFileWriter file(QFile::encodeName(path).toStdString());
  if (!file.good()) {
    if (error) *error = errorText(file.error());
    return SaveOutcome::Failed;
  }
  WholeFileDevice device(file);
  device.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  SaveOutcome filled = fill(device);
  // A fill that missed a failed write still must not put a cut file in place.
  if (filled == SaveOutcome::Saved && !file.commit()) filled = SaveOutcome::Failed;
  if (filled == SaveOutcome::Failed && error) {
    *error =
        file.error() != 0 ? errorText(file.error()) : QStringLiteral("the content was not made");
  }
  return filled;
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

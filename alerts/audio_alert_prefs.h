// "Audio Alert Preferences": edits a working copy of the six alarm slots. The caller fills the
// copy before the dialog opens and takes it back only after OK (runAudioAlertPrefs does both).
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "settings/monitor_settings.h"

class QLineEdit;

namespace kestrune {

class AlertLists;

// Asks the user for a WAV file; returns the chosen full path, or an empty string when cancelled.
using WaveFileChooser = std::function<QString(QWidget* parent)>;

// The file-open chooser for WAV files ("Audio Wave Files", *.wav).
QString chooseWaveFile(QWidget* parent);

// Runs the chooser and restores the process's current directory afterwards, whether or not the
// user confirmed (the program's own files are opened relative to it). On a confirmed choice that
// fits a file-name field (254 characters) the path is copied into fileName (255 bytes) and edit;
// a longer path is refused with a message and changes nothing. Returns whether a file was taken.
bool browseWaveFile(QWidget* parent, char* fileName, QLineEdit* edit,
                    const WaveFileChooser& chooser = chooseWaveFile);

class AudioAlertPrefs : public QDialog {
  Q_OBJECT

 public:
  // Control ids; every control's objectName is its id. Slot s uses kFileEditBase + s and so on.
  static constexpr int kFileEditBase = 1400;
  static constexpr int kBrowseBase = 1410;
  static constexpr int kThresholdEditBase = 1420;
  static constexpr int kUseBase = 1430;
  static constexpr int kLoopBase = 1440;
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;

  explicit AudioAlertPrefs(QWidget* parent = nullptr, double dpiScale = 1.0);

  // The working copy: set before exec(), read after OK.
  void setAlertSlots(const std::array<AudioAlertSlot, kAudioAlertSlots>& alertSlots);
  const std::array<AudioAlertSlot, kAudioAlertSlots>& alertSlots() const { return slots_; }

  // Replaces the file chooser (tests drive the dialog without a real chooser).
  void setChooser(WaveFileChooser chooser) { chooser_ = std::move(chooser); }

 private:
  void showSlots();

  std::array<AudioAlertSlot, kAudioAlertSlots> slots_{};
  WaveFileChooser chooser_ = chooseWaveFile;
  bool loading_ = false;
};

// The "&Audio Alerts" menu command: runs the dialog over a copy of the slots; on OK copies them
// back into settings, hands the list rules to lists and repaints the lists once. Returns whether
// the dialog was confirmed.
bool runAudioAlertPrefs(QWidget* parent, MonitorSettings& settings, AlertLists* lists,
                        double dpiScale = 1.0);

}  // namespace kestrune

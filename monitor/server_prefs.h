#pragma once

#include <QDialog>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QLineEdit;

namespace kestrune {

// The four connection values the view keeps; the per-user store saves them at exit.
struct ServerPrefsValues {
  int32_t serverPort = 0;
  char serverAddress[64] = {};
  char userName[255] = {};
  char userPassword[255] = {};
};

// What is kept of each value after OK: the server takes a user name of at most 50
// characters, a password of at most 15 and an address of at most 16.
inline constexpr size_t kUserNameCut = 50;
inline constexpr size_t kPasswordCut = 15;
inline constexpr size_t kAddressCut = 16;

// The edit rules of the dialog over its own copy of the values, free of any widget.
class ServerPrefsEditor {
 public:
  explicit ServerPrefsEditor(const ServerPrefsValues& start);

  // An emptied address or port box keeps the previous value; an emptied user name or
  // password box empties the value. Texts longer than their field are cut to fit it.
  void addressEdited(const std::string& text);
  void portEdited(const std::string& text);
  void userNameEdited(const std::string& text);
  void passwordEdited(const std::string& text);

  const ServerPrefsValues& values() const { return values_; }

 private:
  ServerPrefsValues values_;
};

// Copies the dialog's values into the view's fields and cuts the user name, password and
// address to what the server takes.
void confirmServerPrefs(const ServerPrefsValues& dialogValues, ServerPrefsValues& viewFields);

// "Server Preferences": address, port, user name and password of the next Connect.
class ServerPrefs : public QDialog {
  Q_OBJECT
 public:
  explicit ServerPrefs(const ServerPrefsValues& start, QWidget* parent = nullptr);

  const ServerPrefsValues& values() const { return editor_.values(); }

 private:
  ServerPrefsEditor editor_;
};

// The "&Server Prefs" menu command. On OK the lists get one clean repaint (eraseLists) and
// the view's fields take the dialog's values; Cancel leaves them as they were. Nothing is
// stored here: the values are used at the next Connect and saved at exit.
// Returns true when the dialog was confirmed.
bool editServerPrefs(ServerPrefsValues& viewFields, const std::function<void()>& eraseLists,
                     QWidget* parent);

// The apply step of the menu command, apart from running the dialog.
void applyServerPrefs(const ServerPrefs& dialog, bool confirmed, ServerPrefsValues& viewFields,
                      const std::function<void()>& eraseLists);

}  // namespace kestrune

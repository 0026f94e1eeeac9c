#include "monitor/server_prefs.h"

#include <QLineEdit>
#include <algorithm>
#include <cstring>

#include "forms/dialog_layout.h"
#include "settings/monitor_settings.h"

namespace kestrune {
namespace {

// Copies text into a fixed field, cut so that the terminating NUL always fits.
template <size_t N>
void copyCut(char (&field)[N], const std::string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, N - n);
}

template <size_t N>
void cutTo(char (&field)[N], size_t limit) {
  static_assert(N > 0);
  field[N - 1] = '\0';  // values from the store may arrive without their NUL
  if (limit < N) std::memset(field + limit, 0, N - limit);
}

std::string toSingleByte(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace

ServerPrefsEditor::ServerPrefsEditor(const ServerPrefsValues& start) : values_(start) {
  // Values read from the store may arrive without their NUL; never read past a field.
  values_.serverAddress[sizeof values_.serverAddress - 1] = '\0';
  values_.userName[sizeof values_.userName - 1] = '\0';
  values_.userPassword[sizeof values_.userPassword - 1] = '\0';
}

void ServerPrefsEditor::addressEdited(const std::string& text) {
  if (!text.empty()) copyCut(values_.serverAddress, text);
}

void ServerPrefsEditor::portEdited(const std::string& text) {
  if (!text.empty()) values_.serverPort = leadingDecimal(text);
}

void ServerPrefsEditor::userNameEdited(const std::string& text) { copyCut(values_.userName, text); }

void ServerPrefsEditor::passwordEdited(const std::string& text) {
  copyCut(values_.userPassword, text);
}

void confirmServerPrefs(const ServerPrefsValues& dialogValues, ServerPrefsValues& viewFields) {
  viewFields = dialogValues;
  cutTo(viewFields.userName, kUserNameCut);
  cutTo(viewFields.userPassword, kPasswordCut);
  cutTo(viewFields.serverAddress, kAddressCut);
}

namespace {

const ControlRow kServerPrefsRows[] = {
    {0, ControlKind::Label, "IP Address", 8, 6, 36, 8, kNoFlags},
    {1004, ControlKind::Edit, "", 8, 14, 78, 14, kBorder},
    {0, ControlKind::Label, "Port Number:", 87, 6, 44, 8, kNoFlags},
    {1005, ControlKind::Edit, "", 87, 14, 40, 14, kBorder | kDigits},
    {0, ControlKind::Label, "Username:", 9, 30, 36, 8, kNoFlags},
    {1012, ControlKind::Edit, "", 7, 39, 120, 14, kBorder},
    {0, ControlKind::Label, "Password:", 8, 55, 34, 8, kNoFlags},
    {1013, ControlKind::Edit, "", 7, 64, 68, 14, kBorder | kPassword},
    {1, ControlKind::Button, "OK", 179, 7, 50, 14, kDefault},
    {2, ControlKind::Button, "Cancel", 179, 24, 50, 14, kNoFlags},
};

}  // namespace

ServerPrefs::ServerPrefs(const ServerPrefsValues& start, QWidget* parent)
    : QDialog(parent), editor_(start) {
  setWindowTitle(QStringLiteral("Server Preferences"));
  setUpDialog(this, 236, 89, kServerPrefsRows);

  auto* address = findControlAs<QLineEdit>(this, 1004);
  auto* port = findControlAs<QLineEdit>(this, 1005);
  auto* user = findControlAs<QLineEdit>(this, 1012);
  auto* password = findControlAs<QLineEdit>(this, 1013);
  // Nothing typed may outgrow the fixed fields behind the boxes.
  address->setMaxLength(static_cast<int>(sizeof(ServerPrefsValues::serverAddress) - 1));
  user->setMaxLength(static_cast<int>(sizeof(ServerPrefsValues::userName) - 1));
  password->setMaxLength(static_cast<int>(sizeof(ServerPrefsValues::userPassword) - 1));
  port->setMaxLength(10);

  // Show the start values before listening, so filling the boxes changes nothing.
  const ServerPrefsValues& v = editor_.values();
  address->setText(QString::fromLatin1(v.serverAddress));
  port->setText(QString::number(v.serverPort));
  user->setText(QString::fromLatin1(v.userName));
  password->setText(QString::fromLatin1(v.userPassword));

  connect(address, &QLineEdit::textChanged, this,
          [this](const QString& t) { editor_.addressEdited(toSingleByte(t)); });
  connect(port, &QLineEdit::textChanged, this,
          [this](const QString& t) { editor_.portEdited(toSingleByte(t)); });
  connect(user, &QLineEdit::textChanged, this,
          [this](const QString& t) { editor_.userNameEdited(toSingleByte(t)); });
  connect(password, &QLineEdit::textChanged, this,
          [this](const QString& t) { editor_.passwordEdited(toSingleByte(t)); });
  connectOkCancel(this);
}

void applyServerPrefs(const ServerPrefs& dialog, bool confirmed, ServerPrefsValues& viewFields,
                      const std::function<void()>& eraseLists) {
  if (!confirmed) return;
  if (eraseLists) eraseLists();
  confirmServerPrefs(dialog.values(), viewFields);
}

bool editServerPrefs(ServerPrefsValues& viewFields, const std::function<void()>& eraseLists,
                     QWidget* parent) {
  ServerPrefs dialog(viewFields, parent);
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  applyServerPrefs(dialog, confirmed, viewFields, eraseLists);
  return confirmed;
}

}  // namespace kestrune

#pragma once

#include <QDialog>

#include <filesystem>

#include "mapi/PostOffice.h"

class QLineEdit;
class QTableWidget;

namespace qlk {

class Desktop;

// "Administer Postoffice": the post office's mailboxes with their unread and
// total counts; mailboxes are added (with an optional password) and removed
// here, as with the qlkpo tool.
class TfrmPostOffice : public QDialog {
    Q_OBJECT

public:
    TfrmPostOffice(Desktop& desktop, PostOffice office, QWidget* parent = nullptr);

    // The window's button: opens the dialog over the working folder's post
    // office, offering to set one up when there is none.
    static void Administer(Desktop& desktop, const std::filesystem::path& workFolder, QWidget* parent);
    // "Edit Mail Profiles": opens MAPI.INI in the desktop's editor, writing it
    // with the defaults first when it is missing.
    static void EditProfiles(Desktop& desktop, const std::filesystem::path& workFolder, QWidget* parent);

    void Refresh();
    void AddClick();
    void RemoveClick();

private:
    Desktop& desktop_;
    PostOffice office_;
    QTableWidget* grdMailboxes_;
    QLineEdit* edtName_;
    QLineEdit* edtPassword_;
};

}  // namespace qlk

#include "ui/TfrmPostOffice.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "mapi/MapiIni.h"
#include "mapi/TEmail.h"
#include "support/TempDir.h"
#include "ui/FakeDesktop.h"

namespace qlk::test {
namespace {

std::vector<QString> Rows(TfrmPostOffice& dialog) {
    auto* grid = dialog.findChild<QTableWidget*>("grdMailboxes");
    std::vector<QString> rows;
    for (int row = 0; row < grid->rowCount(); ++row)
        rows.push_back(grid->item(row, 0)->text() + " " + grid->item(row, 1)->text() + " " +
                       grid->item(row, 2)->text());
    return rows;
}

TEST(TfrmPostOfficeTest, SetsUpListsAddsAndRemovesMailboxes) {
    EnsureApplication();
    TempDir work;
    FakeDesktop desktop;
    desktop.confirmAnswer = false;
    TfrmPostOffice::Administer(desktop, work.path(), nullptr);
    EXPECT_FALSE(MapiIni::Read(work.path())) << "declined: nothing written";

    desktop.confirmAnswer = true;
    desktop.whileModal = [&](QDialog& modal) {
        auto& dialog = static_cast<TfrmPostOffice&>(modal);
        EXPECT_EQ(std::vector<QString>{"Internet 0 0"}, Rows(dialog));
        dialog.findChild<QLineEdit*>("edtName")->setText("Bob");
        dialog.findChild<QLineEdit*>("edtPassword")->setText("pw");
        dialog.findChild<QPushButton*>("btnAdd")->click();
        dialog.findChild<QLineEdit*>("edtName")->setText("a/b");
        dialog.findChild<QPushButton*>("btnAdd")->click();
        ASSERT_EQ(1u, desktop.errors.size());
        EXPECT_TRUE(desktop.errors[0].startsWith("Not a valid mailbox name"));

        TEmail bob(work.path());
        bob.Profile = "Bob";
        bob.Password = "pw";
        bob.Recipient = {"Internet"};
        ASSERT_EQ(0, bob.SendMail());
        dialog.Refresh();
        EXPECT_EQ((std::vector<QString>{"Bob 0 0", "Internet 1 1"}), Rows(dialog));

        dialog.findChild<QTableWidget*>("grdMailboxes")->selectRow(1);
        dialog.findChild<QPushButton*>("btnRemove")->click();
        EXPECT_TRUE(desktop.questions.back().contains("still holds 1 messages"));
        EXPECT_EQ((std::vector<QString>{"Bob 0 0"}), Rows(dialog));
    };
    TfrmPostOffice::Administer(desktop, work.path(), nullptr);
    EXPECT_EQ(std::vector<QString>{"Administer Postoffice"}, desktop.modalTitles);
}

TEST(TfrmPostOfficeTest, EditProfilesWritesTheDefaultsFirst) {
    EnsureApplication();
    TempDir work;
    FakeDesktop desktop;
    TfrmPostOffice::EditProfiles(desktop, work.path(), nullptr);
    const std::optional<MapiIni> ini = MapiIni::Read(work.path());
    ASSERT_TRUE(ini);
    EXPECT_EQ(1, ini->Mapi);
    EXPECT_EQ("Internet", ini->DefaultProfile);
    ASSERT_EQ(1u, desktop.openedUrls.size());
    EXPECT_EQ((work / "MAPI.INI").string(), desktop.openedUrls[0].toLocalFile().toStdString());
}

}  // namespace
}  // namespace qlk::test

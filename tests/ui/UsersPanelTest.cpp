#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <functional>
#include <string>
#include <vector>

#include "FakeDesktop.h"
#include "gateway/UserDirectory.h"
#include "support/TempDir.h"
#include "ui/TfrmPerson.h"
#include "ui/TfrmQLK.h"
#include "ui/UsersPanel.h"

namespace qlk {
namespace {

// Shows each user form as the modal loop would and hands it to the test's script.
class FormDesktop : public test::FakeDesktop {
public:
    FormDesktop() {
        whileModal = [this](QDialog& dialog) {
            ASSERT_TRUE(onForm) << "a form was shown unexpectedly";
            auto& form = dynamic_cast<TfrmPerson&>(dialog);
            form.show();
            onForm(form);
        };
    }
    std::function<void(TfrmPerson&)> onForm;
};

std::vector<std::string> Texts(const std::vector<QString>& texts) {
    std::vector<std::string> plain;
    for (const QString& text : texts) plain.push_back(text.toStdString());
    return plain;
}

class UsersPanelTest : public ::testing::Test {
protected:
    UsersPanelTest() {
        test::EnsureApplication();
        users_.DefaultPOP3Server = [this] { return defaultHost_; };
        users_.OpenTable();
        panel_ = std::make_unique<UsersPanel>(users_, desktop_);
    }

    void AddThroughForm(const std::string& mailbox, const std::string& password) {
        desktop_.onForm = [&](TfrmPerson& form) {
            form.edtName->setText(QString::fromStdString(mailbox + " Name"));
            form.edtMailbox->setText(QString::fromStdString(mailbox));
            form.edtPOPHost->setText("pop.example.com");
            form.edtPOPUSer->setText(QString::fromStdString(mailbox + "-id"));
            form.edtPOPPasswd->setText(QString::fromStdString(password));
            form.edtReturnAddress->setText(QString::fromStdString(mailbox + "@example.com"));
            form.btnOK->click();
        };
        panel_->btnAddUser->click();
    }

    void SelectRow(int row) { panel_->grdUsers->selectRow(row); }
    QString Cell(int row, int column) const { return panel_->grdUsers->item(row, column)->text(); }

    test::TempDir dir_;
    FormDesktop desktop_;
    std::string defaultHost_;
    UserDirectory users_{dir_.path(), nullptr};
    std::unique_ptr<UsersPanel> panel_;
};

TEST_F(UsersPanelTest, GridShowsTheColumnsInOrderReadOnlyWholeRowsAndNoPassword) {
    AddThroughForm("alice", "pw-alice");
    AddThroughForm("bob", "pw-bob");
    QTableWidget* grid = panel_->grdUsers;

    std::vector<std::string> titles;
    for (int c = 0; c < grid->columnCount(); ++c)
        titles.push_back(grid->horizontalHeaderItem(c)->text().toStdString());
    EXPECT_EQ(titles,
              (std::vector<std::string>{"QLK User", "MS Mail Addressbook Name", "POP User ID", "POP Host",
                                        "Return Address", "Delete Mail", "Alias Address"}));
    ASSERT_EQ(grid->rowCount(), 2);
    EXPECT_EQ(Cell(1, 1), "bob");
    EXPECT_EQ(Cell(1, 2), "bob-id");
    EXPECT_EQ(Cell(1, 5), "True");
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c) EXPECT_FALSE(Cell(r, c).startsWith("pw-"));
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(panel_->btnAddUser->toolTip(), "Add A New User");
}

TEST_F(UsersPanelTest, AddCopiesThePreviousRowTakesTheDefaultServerAndStoresOnOk) {
    AddThroughForm("alice", "pw-alice");
    users_.Table().First();
    users_.Table().SetAsBoolean(UserField::DeleteMail, false);
    users_.Table().SetAsBoolean(UserField::Alias, true);
    users_.Table().Post();
    desktop_.questions.clear();
    desktop_.yesNoAnswer = true;
    defaultHost_ = "default.example.com";

    desktop_.onForm = [](TfrmPerson& form) {
        EXPECT_EQ(form.windowTitle(), "User Information");
        EXPECT_EQ(form.edtPOPHost->text(), "default.example.com");
        EXPECT_EQ(form.edtPOPPasswd->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(form.btnDelete->isChecked());
        EXPECT_FALSE(form.DBCheckBox1->isChecked());
        form.edtMailbox->setText("carol");
        form.edtReturnAddress->setText("carol@example.com");
        form.btnOK->click();
    };
    panel_->btnAddUser->click();

    EXPECT_EQ(Texts(desktop_.questions),
              (std::vector<std::string>{"Option: Copy values from previous record?"}));
    ASSERT_EQ(users_.Table().RecordCount(), 2);
    const UserRecord& added = users_.Table().Rows()[1];
    EXPECT_EQ(added.mailbox, "carol");
    EXPECT_EQ(added.popHost, "default.example.com");
    EXPECT_EQ(added.popPassword, "pw-alice");
    EXPECT_TRUE(added.deleteMail);
    EXPECT_FALSE(added.alias);
    EXPECT_EQ(panel_->grdUsers->rowCount(), 2);
}

// Every way of leaving the form without OK drops the typed row.
struct LeaveCase {
    const char* what;
    std::function<void(TfrmPerson&)> leave;
};

void PrintTo(const LeaveCase& c, std::ostream* out) {
    *out << c.what;
}

class LeaveFormTest : public UsersPanelTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeaveFormTest, DiscardsAnAddedRowAndAnEdit) {
    AddThroughForm("alice", "pw-alice");
    const auto& leave = GetParam().leave;

    desktop_.onForm = [&](TfrmPerson& form) {
        form.edtMailbox->setText("ghost");
        form.edtReturnAddress->setText("ghost@example.com");
        leave(form);
    };
    panel_->btnAddUser->click();
    EXPECT_EQ(users_.Table().RecordCount(), 1);

    desktop_.onForm = [&](TfrmPerson& form) {
        EXPECT_EQ(form.edtPOPPasswd->text(), "pw-alice");
        form.edtPOPPasswd->setText("changed");
        leave(form);
    };
    SelectRow(0);
    panel_->btnEditUser->click();

    EXPECT_EQ(users_.Table().Rows()[0].popPassword, "pw-alice");
    EXPECT_TRUE(users_.Table().Active());
    EXPECT_EQ(users_.Table().State(), TableState::Browsing);
    EXPECT_TRUE(desktop_.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Form, LeaveFormTest,
                         ::testing::Values(LeaveCase{"Cancel", [](TfrmPerson& f) { f.btnCancel->click(); }},
                                           LeaveCase{"CloseBox", [](TfrmPerson& f) { f.close(); }},
                                           LeaveCase{"Escape", [](TfrmPerson& f) { f.reject(); }}),
                         [](const ::testing::TestParamInfo<LeaveCase>& param) {
                             return std::string(param.param.what);
                         });

// OK refuses a row the gateway could not use, naming the field; the form
// stays open with what was typed and nothing is stored.
TEST_F(UsersPanelTest, OkRefusesARowThatCannotWorkNamingTheField) {
    const std::string missing = "All Required Fields are not Filled Out: ";
    const struct {
        QLineEdit* TfrmPerson::*field;
        const char* typed;
        std::string refusal;
    } cases[] = {
        {&TfrmPerson::edtMailbox, "", missing + "Mailbox"},
        {&TfrmPerson::edtPOPHost, "  ", missing + "POP Host"},
        {&TfrmPerson::edtPOPUSer, "", missing + "POP User ID"},
        {&TfrmPerson::edtPOPPasswd, "", missing + "POP Password"},
        {&TfrmPerson::edtReturnAddress, "", missing + "Return Address"},
        {&TfrmPerson::edtPOPHost, " pop example com ", "POP Host \"pop example com\" names no mail server"},
        {&TfrmPerson::edtReturnAddress, "r at example.com", "Return Address \"r at example.com\" is not"},
    };
    for (const auto& c : cases) {
        desktop_.errors.clear();
        bool stillOpen = false;
        desktop_.onForm = [&](TfrmPerson& form) {
            form.edtMailbox->setText("m");
            form.edtPOPHost->setText("h");
            form.edtPOPUSer->setText("u");
            form.edtPOPPasswd->setText("p");
            form.edtReturnAddress->setText("r@example.com");
            (form.*c.field)->setText(QString::fromLatin1(c.typed));
            form.btnOK->click();
            stillOpen = form.isVisible();
            form.btnCancel->click();
        };
        panel_->btnAddUser->click();
        EXPECT_TRUE(stillOpen) << c.refusal;
        ASSERT_EQ(desktop_.errors.size(), 1u) << c.refusal;
        EXPECT_TRUE(desktop_.errors[0].toStdString().starts_with(c.refusal))
            << desktop_.errors[0].toStdString();
        EXPECT_EQ(users_.Table().RecordCount(), 0);
    }
}

TEST_F(UsersPanelTest, DoubleClickEditsTheSelectedRowAndOkStoresTheChange) {
    AddThroughForm("alice", "pw-alice");
    AddThroughForm("bob", "pw-bob");
    users_.Table().First();  // a transfer left the cursor elsewhere
    desktop_.onForm = [](TfrmPerson& form) {
        EXPECT_EQ(form.edtMailbox->text(), "bob");
        form.edtPOPPasswd->setText("new-pw");
        form.DBCheckBox1->setChecked(true);
        form.btnOK->click();
    };
    SelectRow(1);
    emit panel_->grdUsers->cellDoubleClicked(1, 0);

    EXPECT_EQ(users_.Table().Rows()[1].popPassword, "new-pw");
    EXPECT_TRUE(users_.Table().Rows()[1].alias);
    EXPECT_EQ(users_.Table().Rows()[0].popPassword, "pw-alice");
}

// What the operator types is stored as UTF-8; a row another program wrote
// in Latin-1 is shown readably and keeps its bytes where nobody changed them.
TEST_F(UsersPanelTest, TextsKeepTheirCharactersAndUnchangedBytes) {
    AddThroughForm("\xc5\x81ukasz", "pa\xe2\x82\xac\xe2\x82\xacw\xc3\xb6rd \xe6\x97\xa5\xf0\x9f\x98\x80");
    users_.Table().Append();
    for (const auto& [field, value] :
         std::vector<std::pair<UserField, std::string>>{{UserField::Name, "Jos\xe9"},
                                                        {UserField::Mailbox, "jose"},
                                                        {UserField::POPHost, "pop.example.com"},
                                                        {UserField::POPUserID, "jos\xe9"},
                                                        {UserField::POPPassword, "gr\xfcn"},
                                                        {UserField::ReturnAddress, "jose@example.com"}}) {
        users_.Table().SetAsString(field, value);
    }
    users_.Table().Post();
    panel_->RefreshGrid();

    const auto& rows = users_.Table().Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, "\xc5\x81ukasz Name");
    EXPECT_EQ(rows[0].popPassword, "pa\xe2\x82\xac\xe2\x82\xacw\xc3\xb6rd \xe6\x97\xa5\xf0\x9f\x98\x80");
    EXPECT_EQ(Cell(0, 1), QString::fromUtf8("\xc5\x81ukasz"));
    EXPECT_EQ(Cell(1, 0), QString::fromUtf8("Jos\xc3\xa9"));

    desktop_.onForm = [](TfrmPerson& form) {
        EXPECT_EQ(form.edtPOPPasswd->text(), QString::fromUtf8("gr\xc3\xbcn"));
        form.edtPOPUSer->setText(QString::fromUtf8("jos\xc3\xa9-2"));
        for (int i = 0; i < 51; ++i) form.edtAlias->insert(QString::fromUtf8("\xf0\x9f\x98\x80"));
        EXPECT_EQ(form.edtAlias->text().toUcs4().size(), 50);  // the limit counts characters
        form.btnOK->click();
    };
    SelectRow(1);
    emit panel_->grdUsers->cellDoubleClicked(1, 0);
    EXPECT_EQ(rows[1].popPassword, "gr\xfcn");
    EXPECT_EQ(rows[1].name, "Jos\xe9");
    EXPECT_EQ(rows[1].popUserId, "jos\xc3\xa9-2");
    EXPECT_EQ(rows[1].aliasAddress.size(), 200u);
}

TEST_F(UsersPanelTest, AStoreTheDatabaseRefusesIsReportedWithItsMessageAndTheFormStaysOpen) {
    AddThroughForm("alice", "pw-alice");
    bool stillOpen = false;
    desktop_.onForm = [&](TfrmPerson& form) {
        sqlite3* other = nullptr;  // another program removes the row meanwhile
        sqlite3_open((dir_ / "users.DB").c_str(), &other);
        sqlite3_exec(other, "DELETE FROM users", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        form.btnOK->click();
        stillOpen = form.isVisible();
        form.btnCancel->click();
    };
    SelectRow(0);
    panel_->btnEditUser->click();

    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(Texts(desktop_.errors),
              (std::vector<std::string>{"the user row no longer exists in the table"}));
}

TEST_F(UsersPanelTest, DeleteAsksAndRemovesTheSelectedRowOnlyOnOk) {
    AddThroughForm("alice", "pw-alice");
    AddThroughForm("bob", "pw-bob");
    SelectRow(0);
    desktop_.confirmAnswer = false;
    panel_->btnDeleteUser->click();
    EXPECT_EQ(users_.Table().RecordCount(), 2);
    EXPECT_EQ(desktop_.questions.back().toStdString(),
              "Are you sure you want to delete this user?\n\nalice Name (alice)");

    SelectRow(0);
    desktop_.confirmAnswer = true;
    panel_->btnDeleteUser->click();
    ASSERT_EQ(users_.Table().RecordCount(), 1);
    EXPECT_EQ(users_.Table().Rows()[0].mailbox, "bob");
    EXPECT_EQ(panel_->grdUsers->rowCount(), 1);
}

TEST_F(UsersPanelTest, ATableThatCouldNotBeOpenedLeavesTheGridEmptyAndTheButtonsHarmless) {
    users_.CloseTable();
    test::WriteFileBytes(dir_ / "users.DB", "this is not a database file, whatever its name says");
    EXPECT_FALSE(users_.OpenTable());
    EXPECT_EQ(panel_->grdUsers->rowCount(), 0);

    panel_->btnAddUser->click();
    panel_->btnEditUser->click();
    panel_->btnDeleteUser->click();
    ASSERT_EQ(desktop_.errors.size(), 1u);
    EXPECT_TRUE(desktop_.errors[0].contains("could not be opened"));
    EXPECT_EQ(test::ReadFileBytes(dir_ / "users.DB"), "this is not a database file, whatever its name says");
}

TEST(UsersOnTheMainWindow, TheTableIsOpenWhileTheWindowRunsAndClosedAtShutDown) {
    test::EnsureApplication();
    test::TempDir folder;
    test::FakeDesktop desktop;
    {
        TfrmQLK window(desktop, folder.path());
        auto* grid = window.findChild<QTableWidget*>("grdUsers");
        ASSERT_NE(grid, nullptr);
        EXPECT_TRUE(window.Users().Table().Active());
        window.CloseWithoutAsking();
        EXPECT_FALSE(window.Users().Table().Active());
    }
    TableEngine stored(folder / "users.DB");
    stored.Open();
    EXPECT_EQ(stored.RecordCount(), 0);
}

}  // namespace
}  // namespace qlk

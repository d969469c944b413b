#include "net/TagRas.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "net/ECanceledError.h"
#include "net/ETimedOutError.h"
#include "platform/EventPump.h"
#include "support/ScriptedRasBackend.h"

namespace qlk {
namespace {

using test::ScriptedRasBackend;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A component over a scripted service, with its events and messages recorded.
class TagRasTest : public ::testing::Test {
protected:
    TagRasTest() {
        auto owned = std::make_unique<ScriptedRasBackend>();
        service = owned.get();
        ras = std::make_unique<TagRas>(std::move(owned));
        ras->OnStatusChange = [this](const std::string& text) { events.push_back(text); };
        ras->OnDisconnected = [this] { events.push_back("Disconnected"); };
        ras->OnShowMessage = [this](const std::string& text) { messages.push_back(text); };
    }

    // The gateway's own order: password and entry, Abort, HangUp, Dial.
    void DialOffice() {
        ras->Password = "configured";
        ras->SetService("Office");
        ras->Abort();
        ras->HangUp();
        ras->Dial();
    }

    ScriptedRasBackend* service = nullptr;
    std::unique_ptr<TagRas> ras;
    std::vector<std::string> events;
    std::vector<std::string> messages;
};

TEST_F(TagRasTest, DialsReportsEveryStateAndHangsUpWhatItDialled) {
    service->script = ScriptedRasBackend::Success();
    DialOffice();
    EXPECT_TRUE(ras->Connected());
    EXPECT_TRUE(ras->DialledByUs());
    EXPECT_EQ(service->dials, 1);
    ras->HangUp();
    ras->HangUp();
    EXPECT_THAT(events, ElementsAre("Initializing...", "Dialing...", "Verifying user name and password",
                                    "User name and password verified", "Logging on to Network",
                                    "Successfully connected", "Disconnected"));
    EXPECT_THAT(service->hungUp, ElementsAre(101));
    EXPECT_FALSE(ras->Connected());
    EXPECT_EQ(ras->Handle(), NoRasHandle);
}

TEST_F(TagRasTest, AdoptsAnotherProgramsLineAndLeavesItUp) {
    struct Case {
        const char* name;
        std::vector<ScriptedRasBackend::Line> lines;
        bool forceService;
        bool adopted;
    };
    const std::vector<Case> cases = {
        {"same entry", {{{7, "Office"}, false}}, true, true},
        {"entry names are exact", {{{7, "office"}, true}}, true, false},
        {"other entry with address, forced", {{{7, "Backup"}, true}}, true, false},
        {"other entry with address, not forced", {{{7, "Backup"}, true}}, false, true},
        {"other entry without address", {{{7, "Backup"}, false}}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto owned = std::make_unique<ScriptedRasBackend>();
        auto* backend = owned.get();
        backend->lines = c.lines;
        backend->script = ScriptedRasBackend::Success();
        TagRas component(std::move(owned));
        component.ForceService = c.forceService;
        component.SetService("Office");
        component.Dial();
        EXPECT_TRUE(component.Connected());
        EXPECT_EQ(component.DialledByUs(), !c.adopted);
        EXPECT_EQ(backend->dials, c.adopted ? 0 : 1);
        if (c.adopted) {
            EXPECT_EQ(component.Handle(), 7);
        }
        component.HangUp();
        EXPECT_EQ(backend->hungUp.empty(), c.adopted);
    }
}

TEST_F(TagRasTest, StoredPasswordWinsAndAGivenOneIsNotKept) {
    service->passwordStored = true;
    service->script = ScriptedRasBackend::Success();
    DialOffice();
    EXPECT_THAT(service->passwordsSet, IsEmpty());
    ras->HangUp();

    service->passwordStored = false;
    service->script = ScriptedRasBackend::Success();
    ras->RemovePassword = false;
    ras->Dial();
    ras->HangUp();
    service->script = ScriptedRasBackend::Success();
    ras->RemovePassword = true;
    ras->Dial();
    EXPECT_THAT(service->passwordsSet, ElementsAre("configured", "configured"));
    EXPECT_THAT(service->removeFlags, ElementsAre(false, true));
}

TEST_F(TagRasTest, FailedCallIsHungUpAndRaisedWithTheServiceText) {
    struct Case {
        const char* name;
        int error;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"busy", reLineBusy, "The line is busy."},
        {"no answer", reNoAnswer, "There is no answer."},
        {"wrong password", reAuthenticationFailure,
         "Access was denied because the user name and/or password is invalid."},
        {"unknown code", 4711, "RAS error no 4711"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service->script = ScriptedRasBackend::Failure(c.error);
        service->hungUp.clear();
        try {
            DialOffice();
            ADD_FAILURE() << "no error";
        } catch (const ERASError& error) {
            EXPECT_EQ(error.Code, c.error);
            EXPECT_STREQ(error.what(), c.text);
        }
        EXPECT_FALSE(ras->Connected());
        EXPECT_EQ(service->call, NoRasHandle) << "the failed call is hung up";
    }
    service->dialResult = reServiceCannotStart;
    EXPECT_THROW(DialOffice(), ERASError);
}

TEST_F(TagRasTest, AbortWhileDiallingCancelsAndEndsTheCall) {
    int looks = 0;
    auto previous = SetMessagePump([&] {
        if (++looks == 3) ras->Abort();
    });
    EXPECT_THROW(DialOffice(), ECanceledError);
    SetMessagePump(previous);
    EXPECT_EQ(service->call, NoRasHandle);
    EXPECT_THAT(service->hungUp, ElementsAre(101));
}

TEST_F(TagRasTest, TimeOutRaisesAndEndsTheCall) {
    ras->SetTimeOut(1);
    const auto start = std::chrono::steady_clock::now();
    try {
        DialOffice();
        ADD_FAILURE() << "no time-out";
    } catch (const ETimedOutError& error) {
        EXPECT_STREQ(error.what(), "Operation timed out");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(ras->TimedOut());
    EXPECT_EQ(service->call, NoRasHandle);
}

// A line that drops under a running operation is reported to that operation
// from inside the event pump, once; hanging up afterwards still tells the log.
TEST_F(TagRasTest, ErrorAfterConnectingReachesTheOperationRunningThePump) {
    // Runs the pump a while, as a long operation would: the code of the
    // dial-up error raised inside it, or 0.
    auto pumpAWhile = [] {
        for (int i = 0; i < 30; ++i) {
            try {
                ProcessMessages();
            } catch (const ERASError& error) {
                return error.Code;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    };
    int outerRuns = 0;
    auto previous = SetMessagePump([&] { ++outerRuns; });
    service->script = ScriptedRasBackend::Success();
    DialOffice();
    EXPECT_EQ(pumpAWhile(), 0);
    service->script.push_back({{rcsConnected, reRemoteDisconnection}});
    EXPECT_EQ(pumpAWhile(), reRemoteDisconnection);
    service->script.push_back({{rcsConnected, reRemoteDisconnection}});
    EXPECT_EQ(pumpAWhile(), 0) << "reported once";
    ras->HangUp();
    EXPECT_EQ(events.back(), "Disconnected");
    const int runsBefore = outerRuns;
    ProcessMessages();
    EXPECT_EQ(outerRuns, runsBefore + 1) << "the window's own pump keeps running";
    SetMessagePump(previous);
}

TEST_F(TagRasTest, ServiceIsCheckedAgainstThePhoneBook) {
    ras->SetService("office");
    EXPECT_EQ(ras->Service(), "Office") << "the phone book's spelling is dialled";
    ras->SetService("Nowhere");
    EXPECT_EQ(ras->Service(), "");
    ras->SetService("Office");
    service->script = ScriptedRasBackend::Success();
    ras->Dial();
    ras->SetService("Backup");
    EXPECT_EQ(ras->Service(), "Office");
    EXPECT_THAT(messages, ElementsAre(TagRas::InvalidServiceMessage, TagRas::ConnectedMessage));

    // A long phone book is listed whole.
    auto longBook = std::make_unique<ScriptedRasBackend>();
    longBook->entries.clear();
    for (int i = 1; i <= 30; ++i) longBook->entries.push_back("Line " + std::to_string(i));
    TagRas many(std::move(longBook));
    EXPECT_TRUE(many.RASAvailable());
    EXPECT_EQ(many.Entries().size(), 30u);

    TagRas none(nullptr);
    std::vector<std::string> noneMessages;
    none.OnShowMessage = [&](const std::string& text) { noneMessages.push_back(text); };
    none.SetService("Office");
    EXPECT_FALSE(none.RASAvailable());
    EXPECT_EQ(none.Service(), "");
    EXPECT_THAT(noneMessages, ElementsAre(TagRas::NoRasMessage));
    EXPECT_NO_THROW(none.Dial());
    EXPECT_NO_THROW(none.HangUp());
}

}  // namespace
}  // namespace qlk

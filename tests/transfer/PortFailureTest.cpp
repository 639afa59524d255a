// A port that cannot be opened: the message stays "Can not open COM<n> !",
// and the port's reason reaches the host, which can add one line that says
// why in plain words and what to do.

#include "tests/transfer/EngineFixture.h"
#include "transfer/PortFailureText.h"

namespace quorlin::test {
namespace {

PortFailure Failure(PortFailureKind kind, const std::string& text) {
    PortFailure why;
    why.kind = kind;
    why.systemError = 1;
    why.systemText = text;
    why.operation = "open()";
    return why;
}

class PortOpenFailure : public EngineFixture {};

TEST_F(PortOpenFailure, ReachesTheHostWithTheUnchangedMessage) {
    port->SetOpenFailure(Failure(PortFailureKind::PermissionDenied, "Permission denied"));
    engine->SendFile(MakeFile("p.nc", "g1\r\n"));
    ASSERT_EQ(host.portFailures.size(), 1u);
    EXPECT_EQ(host.portFailures[0].kind, PortFailureKind::PermissionDenied);
    EXPECT_EQ(host.portFailures[0].systemText, "Permission denied");
    // The default of a host that adds nothing: the message box alone.
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Can not open COM3 !");
    EXPECT_EQ(host.messages[0].caption, "Error");
    EXPECT_EQ(host.messages[0].icon, MessageBoxIcon::Error);
    EXPECT_TRUE(host.log.empty());
    EXPECT_FALSE(engine->IsTransferring());
}

TEST(PortFailureAdvice, SaysWhyWithTheSystemsTextAndWhatToDo) {
    EXPECT_EQ(PortFailureAdvice(PortFailure{}), "");
    struct Row {
        PortFailureKind kind;
        const char* mustSay;
    };
    for (const Row& row : {Row{PortFailureKind::NotFound, "No device"}, Row{PortFailureKind::InUse, "Another program"},
                           Row{PortFailureKind::PermissionDenied, "no permission"},
                           Row{PortFailureKind::NotSerialDevice, "not a serial line"},
                           Row{PortFailureKind::Other, "open()"}}) {
        const std::string advice = PortFailureAdvice(Failure(row.kind, "the system's words"));
        EXPECT_NE(advice.find(row.mustSay), std::string::npos) << advice;
        EXPECT_NE(advice.find("(the system's words)"), std::string::npos) << advice;
        EXPECT_EQ(advice.find('\n'), std::string::npos) << "one line: " << advice;
    }
}

TEST(PortFailureAdvice, PermissionDeniedExplainsHowToGetAccess) {
    const std::string advice = PortFailureAdvice(Failure(PortFailureKind::PermissionDenied, "Permission denied"));
    EXPECT_NE(advice.find("\"dialout\" group"), std::string::npos) << advice;
    EXPECT_NE(advice.find("log out and log in again"), std::string::npos) << advice;
}

}  // namespace
}  // namespace quorlin::test

// The screen's messages, looked up by their keys.
#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "support/screen_harness.h"

using namespace hostlib;

namespace {

TEST(MessageTable, KeysAreExactAndTheDateMessageKeepsItsPlaceholder) {
    testing_support::RecordingHost host;
    TApplication application(host);
    Initialize();
    IniProc(Variant::Null());
    const TMessages& messages = Cli_Vor17000::frmDataEmissao->msgPadrao;
    EXPECT_EQ(messages.Msg("Insc_Inf"), "Inscrição estadual deve ser informada.");
    EXPECT_EQ(messages.Msg("InscM_Inf"), "Inscrição municipal deve ser informada.");
    const std::string& date_message = messages.Msg("Data_Inv");
    EXPECT_NE(date_message.find("%s"), std::string::npos);
    EXPECT_EQ(FormatMessage(date_message, {"15/05/2024 14:30:00"}),
              "Próxima data de emissão deve ser maior ou igual a 15/05/2024 14:30:00 (data da última emissão).");
    EXPECT_EQ(messages.Msg("OK"), "OK");
    EXPECT_THROW(messages.Msg("Nao_Existe"), Exception);
    Cli_Vor17000::frmDataEmissao->Close();
    application.ProcessReleases();
    Finalize();
}

}  // namespace

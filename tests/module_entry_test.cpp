// The module's entry: IniProc, CriaDataEmissao, the module variables and the unit start-up.
#include <gtest/gtest.h>

#include "Cli_Vor17000.h"
#include "Pkg_Vor17000.h"
#include "frmDataEmissao.h"
#include "hostlib/application.h"
#include "core/exceptions.h"
#include "support/recording_host.h"

namespace cli = Cli_Vor17000;
using namespace hostlib;

namespace {

class ModuleEntry : public ::testing::Test {
protected:
    ModuleEntry() : application(host) {
        Initialize();
        application.CreateForm(caller_a, "frmNotaA");
        application.CreateForm(caller_b, "frmNotaB");
    }
    ~ModuleEntry() override {
        if (cli::boIdCriado) cli::frmDataEmissao->Close();
        application.ProcessReleases();
        Finalize();
    }
    Variant CallerArgument(bool flag, TForm* form) {
        return Variant::Array({flag, static_cast<std::int32_t>(application.HandleOf(*form))});
    }

    testing_support::RecordingHost host;
    TApplication application;
    TForm* caller_a = nullptr;
    TForm* caller_b = nullptr;
};

TEST_F(ModuleEntry, NullOpensTheScreenWithoutCallerMode) {
    IniProc(Variant::Null());
    ASSERT_TRUE(cli::boIdCriado);
    ASSERT_NE(cli::frmDataEmissao, nullptr);
    EXPECT_FALSE(cli::boDataEmis);
    EXPECT_EQ(cli::frmOrig, nullptr);
    EXPECT_TRUE(cli::frmDataEmissao->Visible());
    EXPECT_EQ(application.ActiveForm(), cli::frmDataEmissao);
    EXPECT_EQ(cli::frmDataEmissao->WindowState(), TWindowState::wsNormal);
}

TEST_F(ModuleEntry, SecondCallOnlyReplacesCallerAndFlag) {
    IniProc(CallerArgument(true, caller_a));
    auto* screen = cli::frmDataEmissao;
    EXPECT_TRUE(cli::boDataEmis);
    EXPECT_EQ(cli::frmOrig, caller_a);
    screen->edtCdSerie.SetText("A1");
    screen->SetWindowState(TWindowState::wsMinimized);
    cli::boPrimVez = false;

    IniProc(CallerArgument(false, caller_b));
    EXPECT_EQ(cli::frmDataEmissao, screen);
    EXPECT_EQ(application.Forms().size(), 3u);  // two callers and one screen
    EXPECT_EQ(screen->edtCdSerie.Text(), "A1");
    EXPECT_FALSE(cli::boDataEmis);
    EXPECT_EQ(cli::frmOrig, caller_b);
    EXPECT_FALSE(cli::boPrimVez);
    EXPECT_EQ(screen->WindowState(), TWindowState::wsNormal);
}

TEST_F(ModuleEntry, OpenCloseOpenBuildsANewScreen) {
    IniProc(Variant::Null());
    cli::frmDataEmissao->edtCdSerie.SetText("A1");
    cli::frmDataEmissao->Close();
    EXPECT_FALSE(cli::boIdCriado);
    application.ProcessReleases();
    EXPECT_EQ(application.Forms().size(), 2u);

    IniProc(Variant::Null());
    ASSERT_TRUE(cli::boIdCriado);
    EXPECT_EQ(cli::frmDataEmissao->edtCdSerie.Text(), "");
    EXPECT_EQ(application.Forms().size(), 3u);
}

TEST_F(ModuleEntry, UnassignedArgumentFailsBeforeAnythingChanges) {
    IniProc(CallerArgument(true, caller_a));
    auto* screen = cli::frmDataEmissao;
    EXPECT_THROW(IniProc(Variant()), EVariantNotAnArrayError);
    EXPECT_EQ(cli::frmOrig, caller_a);
    EXPECT_TRUE(cli::boDataEmis);
    EXPECT_EQ(cli::frmDataEmissao, screen);
}

TEST_F(ModuleEntry, ArrayWithOnlyIndexZeroFailsBeforeAnythingChanges) {
    cli::frmOrig = caller_b;
    cli::boDataEmis = false;
    EXPECT_THROW(IniProc(Variant::Array({true})), EVariantBadIndexError);
    EXPECT_FALSE(cli::boIdCriado);
    EXPECT_EQ(cli::frmOrig, caller_b);
    EXPECT_FALSE(cli::boDataEmis);
}

TEST_F(ModuleEntry, FlagIsConvertedBeforeTheFormIsRead) {
    // A bad flag fails as a conversion even though index 1 is missing too.
    EXPECT_THROW(IniProc(Variant::Array({Variant("talvez")})), EVariantTypeCastError);
    EXPECT_THROW(IniProc(Variant::Array({Variant::Null(), 1})), EVariantTypeCastError);
    EXPECT_THROW(IniProc(Variant::Array({true, Variant("x")})), EVariantTypeCastError);
    EXPECT_FALSE(cli::boIdCriado);
}

TEST_F(ModuleEntry, UnknownCallerHandleReadsAsNoForm) {
    IniProc(Variant::Array({true, 0x7FFF0000}));
    EXPECT_TRUE(cli::boIdCriado);
    EXPECT_TRUE(cli::boDataEmis);
    EXPECT_EQ(cli::frmOrig, nullptr);
}

TEST_F(ModuleEntry, FlagAndHandleUseTheStandardConversions) {
    IniProc(Variant::Array({Variant("True"), Variant(std::to_string(application.HandleOf(*caller_b)))}));
    EXPECT_TRUE(cli::boDataEmis);
    EXPECT_EQ(cli::frmOrig, caller_b);
}

}  // namespace

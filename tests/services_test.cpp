#include <gtest/gtest.h>

#include "hostlib/application.h"
#include "core/exceptions.h"
#include "hostlib/services.h"
#include "support/recording_host.h"

using namespace hostlib;

TEST(Services, EmptyStringCountsBlanksAsEmpty) {
    EXPECT_TRUE(EmptyString(""));
    EXPECT_TRUE(EmptyString("   "));
    EXPECT_FALSE(EmptyString(" 0 "));
}

TEST(Services, AjustaPadsOnTheLeftAndTrims) {
    EXPECT_EQ(Ajusta("1", 2), "01");
    EXPECT_EQ(Ajusta("7", 4), "0007");
    EXPECT_EQ(Ajusta(" 1 ", 2), "01");
    EXPECT_EQ(Ajusta("12", 2), "12");
    EXPECT_EQ(Ajusta("123", 2), "123");  // longer codes stay as they are
    EXPECT_EQ(Ajusta("", 2), "00");
}

TEST(Services, NomeSemanaInPortuguese) {
    EXPECT_EQ(NomeSemana(EncodeDate(2024, 12, 1)), "Domingo");
    EXPECT_EQ(NomeSemana(EncodeDate(2024, 12, 3)), "Terça-feira");
    EXPECT_EQ(NomeSemana(EncodeDate(2024, 12, 7)), "Sábado");
}

TEST(Services, MensErroShowsThenAborts) {
    testing_support::RecordingHost host;
    TApplication application(host);
    EXPECT_THROW(MensErro("Empresa não cadastrada."), EAbort);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].type, "error");
    EXPECT_EQ(host.events[0].text, "Empresa não cadastrada.");
    EXPECT_NO_THROW(MensErro("só aviso", AfterError::Return));
}

TEST(Services, HostValuesAndProcessingDate) {
    testing_support::RecordingHost host;
    TApplication application(host);
    application.Values().EmprProc = "01";
    application.Values().FiliProc = "1";
    application.Values().DataProc["1"] = EncodeDate(2024, 5, 10);
    EXPECT_EQ(EmprProc(), "01");
    EXPECT_EQ(DataProc(FiliProc()), EncodeDate(2024, 5, 10));
    EXPECT_EQ(DataProc("other branch"), Today());
    // Asked afresh at each use.
    application.Values().DataProc["1"] = EncodeDate(2024, 5, 11);
    EXPECT_EQ(DataProc(FiliProc()), EncodeDate(2024, 5, 11));
}

TEST(Services, OnlyOneApplicationAtATime) {
    testing_support::RecordingHost host;
    {
        TApplication application(host);
        EXPECT_THROW(TApplication second(host), Exception);
    }
    EXPECT_FALSE(TApplication::Exists());
    EXPECT_THROW(Application(), Exception);
}

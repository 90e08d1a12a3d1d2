// Data that other programs wrote, read by the host's own queries: dates in their forms and
// column types, and text and keys in an older code page.
#include <gtest/gtest.h>

#include "core/datetime.h"
#include "support/data_access_fixture.h"

using namespace hostlib;
using testing_support::Backend;

namespace {

// Data that other programs wrote, read by the host's own queries.
class ForeignDataAccess : public testing_support::DataAccessFixture {};

TEST_P(ForeignDataAccess, DatesOfOtherProgramsAndWindows1252TextAreRead) {
    testing_support::TestDatabase bytes(GetParam(), testing_support::TextEncoding::AnyBytes);
    module->Open(bytes.Url());
    bytes.Execute("INSERT INTO EMPRESA VALUES ('01', " + bytes.TextOfBytes("Com\xE9rcio") + ")");
    if (GetParam() == Backend::SQLite) {
        bytes.Execute("INSERT INTO LOCALEMISSAO VALUES ('0001', 'A', '2024-04-01T09:15')");
        bytes.Execute("INSERT INTO LOCALEMISSAO VALUES ('0002', 'B', '2024-04-01 09:15:00.123456')");
    } else {
        bytes.Execute("ALTER TABLE LOCALEMISSAO ALTER COLUMN DTULTEMISLCE TYPE timestamptz");
        bytes.Execute("INSERT INTO LOCALEMISSAO VALUES ('0001', 'A', '2024-04-01 09:15')");
        bytes.Execute("INSERT INTO LOCALEMISSAO VALUES ('0002', 'B', '2024-04-01 09:15:00.123456')");
    }
    query->SetSQL({"SELECT NMEMPRESA FROM EMPRESA"});
    query->Open();
    EXPECT_EQ(query->FieldByName("NMEMPRESA").AsString(), "Comércio");
    query->SetSQL({"SELECT DTULTEMISLCE FROM LOCALEMISSAO ORDER BY CDLOCALEMIS"});
    query->FieldDefs = {{"DTULTEMISLCE", TFieldType::ftDateTime, 0, false, "Data", true}};
    query->Open();
    ASSERT_EQ(query->RecordCount(), 2u);
    EXPECT_EQ(query->FieldByName("DTULTEMISLCE").AsString(), "01/04/2024 09:15:00");
    query->Next();
    EXPECT_EQ(DateTimeToIso(query->FieldByName("DTULTEMISLCE").AsDateTime()).substr(0, 19), "2024-04-01T09:15:00");
}

// A key shown decoded from Windows-1252 finds its row again: a query that finds nothing for a
// key beyond ASCII asks again with the key in that code page. A database that keeps only
// UTF-8 is not asked in bytes it would refuse.
TEST_P(ForeignDataAccess, AKeyInTheOldCodePageIsFoundByItsDecodedText) {
    testing_support::TestDatabase bytes(GetParam(), testing_support::TextEncoding::AnyBytes);
    const std::string legacy = bytes.TextOfBytes("S\xC3O1");
    bytes.Execute("INSERT INTO LOCALEMISSAO VALUES (" + legacy + ", 'Filial antiga', NULL)");
    bytes.Execute("INSERT INTO LOCALEMISSAO VALUES ('SÃ2', 'Filial nova', NULL)");
    TdtmDBGeral old_system(nullptr, "dtmAntigo");
    old_system.Open(bytes.Url());
    const std::vector<std::string> sql = {
        "SELECT CDLOCALEMIS, DSLOCALEMIS FROM LOCALEMISSAO WHERE CDLOCALEMIS = :P_CDLOCALEMIS"};
    TADOIBQuery lookup(nullptr, "qryAntigo");
    lookup.Connection = &old_system;
    lookup.SetSQL(sql);
    for (const auto& [key, description] : {std::pair{"SÃO1", "Filial antiga"}, std::pair{"SÃ2", "Filial nova"}}) {
        lookup.ParamByName("P_CDLOCALEMIS").SetValue(key);
        lookup.Open();
        ASSERT_EQ(lookup.RecordCount(), 1u) << key;
        EXPECT_EQ(lookup.FieldByName("CDLOCALEMIS").AsString(), key);
        EXPECT_EQ(lookup.FieldByName("DSLOCALEMIS").AsString(), description);
        lookup.Close();
    }
    lookup.ParamByName("P_CDLOCALEMIS").SetValue("SÃO3");
    lookup.Open();
    EXPECT_TRUE(lookup.IsEmpty());

    query->SetSQL(sql);  // the fixture's database: UTF-8 only on PostgreSQL
    query->ParamByName("P_CDLOCALEMIS").SetValue("SÃO9");
    EXPECT_NO_THROW(query->Open());
    EXPECT_TRUE(query->IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, ForeignDataAccess, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace

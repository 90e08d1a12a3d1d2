// The data module and queries, on SQLite and PostgreSQL alike.
#include <gtest/gtest.h>

#include "core/db/database_error.h"
#include "core/db/sql_value.h"
#include "support/data_access_fixture.h"

using namespace hostlib;
using testing_support::Backend;

namespace {

class DataAccess : public testing_support::DataAccessFixture {};

TEST_P(DataAccess, EmptyDatabaseGetsTheSchemaAndKeepsDataOnReopen) {
    for (const char* table :
         {"EMPRESA", "INSCRESTAD", "INSCRMUNICIP", "LOCALEMISSAO", "CTRLNUMENF", "SERIENF", "NOTAFISCAL"}) {
        EXPECT_EQ(database.QueryText(std::string("SELECT COUNT(*) FROM ") + table), "0") << table;
    }
    database.Execute("INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES ('01', 'Aurora')");
    module->Close();
    module->Open(database.Url());
    EXPECT_EQ(database.QueryText("SELECT NMEMPRESA FROM EMPRESA"), "Aurora");
}

TEST_P(DataAccess, ParametersAreBoundByNameAndNullWhenCleared) {
    database.Execute("INSERT INTO EMPRESA VALUES ('01', 'Aurora')");
    database.Execute("INSERT INTO EMPRESA VALUES ('02', 'Boa Vista')");
    query->SetSQL({"SELECT CDEMPRESA, NMEMPRESA", "FROM EMPRESA",
                   "WHERE (CDEMPRESA = :P_CDEMPRESA OR :P_TCDEMPRESA = 'T')", "ORDER BY CDEMPRESA"});
    ASSERT_EQ(query->Params().size(), 2u);
    query->ParamByName("P_CDEMPRESA").SetValue("02");
    query->ParamByName("P_TCDEMPRESA").SetValue("");
    query->Open();
    ASSERT_EQ(query->RecordCount(), 1u);
    EXPECT_EQ(query->FieldByName("nmempresa").AsString(), "Boa Vista");  // names ignore case
    query->Close();
    query->ParamByName("P_TCDEMPRESA").SetValue("T");
    query->Open();
    EXPECT_EQ(query->RecordCount(), 2u);
    query->Close();
    query->ParamByName("P_CDEMPRESA").Clear();
    query->ParamByName("P_TCDEMPRESA").Clear();
    query->Open();
    EXPECT_TRUE(query->IsEmpty());
    EXPECT_THROW(query->ParamByName("P_NADA"), EDatabaseError);
}

TEST_P(DataAccess, BeforeOpenRunsBeforeTheStatement) {
    database.Execute("INSERT INTO EMPRESA VALUES ('01', 'Aurora')");
    query->SetSQL({"SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = :P_CDEMPRESA"});
    int runs = 0;
    query->BeforeOpen = [&](TDataSet&) {
        ++runs;
        query->ParamByName("P_CDEMPRESA").SetValue("01");
    };
    query->Open();
    query->Open();  // already open: nothing runs again
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(query->FieldByName("NMEMPRESA").AsString(), "Aurora");
}

TEST_P(DataAccess, DatesKeepTheirTimeOfDayAndNullsReadAsZero) {
    database.Execute("INSERT INTO NOTAFISCAL VALUES ('C1', 1, '2024-05-15 14:30:05')");
    database.Execute("INSERT INTO NOTAFISCAL VALUES ('C1', 2, NULL)");
    query->SetSQL({"SELECT NRNOTAFISCAL, DTEMISSAO FROM NOTAFISCAL ORDER BY NRNOTAFISCAL"});
    query->FieldDefs = {{"NRNOTAFISCAL", TFieldType::ftString, 0, false, "Número", true},
                        {"DTEMISSAO", TFieldType::ftDateTime, 0, false, "Emissão", true}};
    query->Open();
    ASSERT_EQ(query->RecordCount(), 2u);
    EXPECT_EQ(query->FieldByName("NRNOTAFISCAL").AsString(), "1");
    EXPECT_EQ(query->FieldByName("DTEMISSAO").AsDateTime(), EncodeDate(2024, 5, 15) + EncodeTime(14, 30, 5, 0));
    EXPECT_EQ(query->FieldByName("DTEMISSAO").AsString(), "15/05/2024 14:30:05");
    ASSERT_TRUE(query->Next());
    EXPECT_TRUE(query->FieldByName("DTEMISSAO").IsNull());
    EXPECT_EQ(query->FieldByName("DTEMISSAO").AsDateTime(), 0.0);
    EXPECT_FALSE(query->Next());
}

TEST_P(DataAccess, MaxOfADateColumnReadsAsADate) {
    database.Execute("INSERT INTO NOTAFISCAL VALUES ('C1', 1, '2024-05-10 00:00:00')");
    database.Execute("INSERT INTO NOTAFISCAL VALUES ('C1', 2, '2024-05-15 14:30:00')");
    query->SetSQL({"SELECT MAX(DTEMISSAO) AS DTEMISSAO FROM NOTAFISCAL WHERE CDCTRLNUMENF = :P"});
    query->FieldDefs = {{"DTEMISSAO", TFieldType::ftDateTime, 0, false, "DTEMISSAO", true}};
    query->ParamByName("P").SetValue("C1");
    query->Open();
    EXPECT_EQ(query->FieldByName("DTEMISSAO").AsDateTime(), EncodeDate(2024, 5, 15) + EncodeTime(14, 30, 0, 0));
    query->Close();
    query->ParamByName("P").SetValue("none");
    query->Open();
    EXPECT_TRUE(query->FieldByName("DTEMISSAO").IsNull());
}

TEST_P(DataAccess, EmptyResultReadsAsEmptyTextsAndNullDates) {
    query->SetSQL({"SELECT CDLOCALEMIS, DTULTEMISLCE FROM LOCALEMISSAO"});
    query->FieldDefs = {{"CDLOCALEMIS", TFieldType::ftString, 4, false, "Código", true},
                        {"DTULTEMISLCE", TFieldType::ftDateTime, 0, false, "Data", true}};
    query->Open();
    EXPECT_TRUE(query->IsEmpty());
    EXPECT_EQ(query->FieldByName("CDLOCALEMIS").AsString(), "");
    EXPECT_TRUE(query->FieldByName("DTULTEMISLCE").IsNull());
    EXPECT_THROW(query->FieldByName("NADA"), EDatabaseError);
}

TEST_P(DataAccess, HostileTextsArePlainData) {
    const std::string hostile[] = {"'", "' OR '1'='1", "01'; DROP TABLE EMPRESA; --", "\"", ";", "%", "\\", "T"};
    database.Execute("INSERT INTO EMPRESA VALUES ('01', 'Aurora')");
    query->SetSQL({"SELECT CDEMPRESA FROM EMPRESA WHERE CDEMPRESA = :P_CDEMPRESA"});
    for (const auto& text : hostile) {
        SCOPED_TRACE(text);
        query->Close();
        query->ParamByName("P_CDEMPRESA").SetValue(text);
        EXPECT_NO_THROW(query->Open());
        EXPECT_TRUE(query->IsEmpty());
    }
    EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM EMPRESA"), "1");
}

TEST_P(DataAccess, DriverErrorsReadAsASentenceWithTheDriversMessageInTheDetails) {
    query->SetSQL({"SELECT NADA FROM TABELA_QUE_NAO_EXISTE"});
    try {
        query->Open();
        FAIL() << "opened a missing table";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), DatabaseErrorSentence(e.Category()));
        std::string details = e.Details();
        for (auto& c : details) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_NE(details.find("tabela_que_nao_existe"), std::string::npos) << e.Details();
    }
    EXPECT_FALSE(query->Active());
}

TEST_P(DataAccess, DuplicateKeyIsAConstraintError) {
    database.Execute("INSERT INTO EMPRESA VALUES ('01', 'Aurora')");
    try {
        module->ExecuteScript("INSERT INTO EMPRESA VALUES ('01', 'Outra');");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Category(), DatabaseErrorCategory::Constraint);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, DataAccess, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace

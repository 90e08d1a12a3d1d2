// The client datasets: the packets the server sends, taken in or refused whole.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "hostlib/net/client_dataset.h"

using namespace hostlib;

namespace {

class ClientDataSet : public ::testing::Test {
protected:
    ClientDataSet() {
        dataset.FieldDefs = {{"CDSERIE", TFieldType::ftString, 5, false, "Código", true},
                             {"DTEMISCTNUNF", TFieldType::ftDateTime, 0, false, "Data", false}};
    }
    // Rows as lists of values (a braced list of pairs would read as an object).
    static nlohmann::json Packet(const std::vector<std::vector<nlohmann::json>>& rows) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& row : rows) list.push_back(row);
        return {{"columns",
                 {{{"name", "CDSERIE"}, {"type", "string"}, {"size", 5}},
                  {{"name", "DTEMISCTNUNF"}, {"type", "datetime"}}}},
                {"rows", list}};
    }
    TClientDataSet dataset{nullptr, "cdsTeste"};
};

TEST_F(ClientDataSet, SetDataReplacesEverythingAndStandsOnTheFirstRow) {
    dataset.SetData(Packet({{"1", "2024-01-02T03:04:05"}, {"2", nullptr}}));
    EXPECT_TRUE(dataset.Active());
    EXPECT_EQ(dataset.RecordCount(), 2u);
    ASSERT_TRUE(dataset.Next());
    EXPECT_TRUE(dataset.FieldByName("DTEMISCTNUNF").IsNull());
    dataset.SetData(Packet({{"9", "2024-12-31T00:00:00"}}));
    EXPECT_EQ(dataset.RecordCount(), 1u);
    EXPECT_EQ(dataset.RecNo(), 0u);
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "9");
    EXPECT_EQ(dataset.FieldByName("DTEMISCTNUNF").AsDateTime(), EncodeDate(2024, 12, 31));
    dataset.SetData(Packet({}));
    EXPECT_TRUE(dataset.IsEmpty());
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "");
}

TEST_F(ClientDataSet, APacketMissingOrMistypingAColumnIsRefusedNamingIt) {
    dataset.SetData(Packet({{"1", nullptr}}));
    nlohmann::json missing = {{"columns", {{{"name", "CDSERIE"}, {"type", "string"}}}}, {"rows", {{"2"}}}};
    try {
        dataset.SetData(missing);
        FAIL();
    } catch (const EPacketError& e) {
        EXPECT_NE(std::string(e.what()).find("DTEMISCTNUNF"), std::string::npos) << e.what();
    }
    nlohmann::json mistyped = Packet({{"2", "x"}});
    mistyped["columns"][1]["type"] = "string";
    try {
        dataset.SetData(mistyped);
        FAIL();
    } catch (const EPacketError& e) {
        EXPECT_NE(std::string(e.what()).find("DTEMISCTNUNF"), std::string::npos) << e.what();
    }
    // The content stays what it was.
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "1");
}

TEST_F(ClientDataSet, MalformedPacketsAreErrorsNotCrashes) {
    const nlohmann::json bad[] = {
        nullptr,
        "text",
        {{"columns", {}}},
        {{"columns", {{{"name", "A"}, {"type", "blob"}}}}, {"rows", {}}},
        Packet({{"1"}}),
        Packet({{"1", "2024-13-01T00:00:00"}}),
        Packet({{1, nullptr}}),
        {{"columns", nlohmann::json::array()}, {"rows", {"not a row"}}},
    };
    for (const auto& packet : bad) {
        SCOPED_TRACE(packet.dump());
        EXPECT_THROW(dataset.SetData(packet), EPacketError);
    }
}

TEST_F(ClientDataSet, ColumnsNobodyDeclaredServeTheirOwnPacketOnlyAndNamesIgnoreCase) {
    nlohmann::json packet = Packet({{"1", nullptr, "extra"}});
    packet["columns"][0]["name"] = "cdserie";
    packet["columns"].push_back({{"name", "OUTRA"}, {"type", "string"}});
    dataset.SetData(packet);
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "1");
    EXPECT_EQ(dataset.FieldByName("OUTRA").AsString(), "extra");
    // A server of the older version behind the same address answers without that column.
    dataset.SetData(Packet({{"2", nullptr}}));
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "2");
    EXPECT_THROW(dataset.FieldByName("OUTRA"), Exception);
    dataset.SetData(packet);
    EXPECT_EQ(dataset.FieldByName("OUTRA").AsString(), "extra");
}

}  // namespace

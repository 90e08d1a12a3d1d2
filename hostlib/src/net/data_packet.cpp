#include "hostlib/net/data_packet.h"

#include <nlohmann/json.hpp>

namespace hostlib {

namespace {

const char* TypeName(TFieldType type) { return type == TFieldType::ftDateTime ? "datetime" : "string"; }

nlohmann::json ValueToJson(const FieldValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* date = std::get_if<TDateTime>(&value)) return DateTimeToIso(*date);
    return nullptr;
}

FieldValue ValueFromJson(const nlohmann::json& value, const PacketColumn& column) {
    if (value.is_null()) return std::monostate{};
    if (!value.is_string()) throw EPacketError("Pacote de dados: valor inválido na coluna '" + column.name + "'.");
    const auto& text = value.get_ref<const std::string&>();
    if (column.type == TFieldType::ftString) return text;
    const auto date = TryIsoToDateTime(text);
    if (!date) throw EPacketError("Pacote de dados: data inválida na coluna '" + column.name + "'.");
    return *date;
}

}  // namespace

nlohmann::json PacketToJson(const DataPacket& packet) {
    nlohmann::json columns = nlohmann::json::array();
    for (const auto& column : packet.columns) {
        nlohmann::json entry = {{"name", column.name}, {"type", TypeName(column.type)}};
        if (column.type == TFieldType::ftString) entry["size"] = column.size;
        columns.push_back(std::move(entry));
    }
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& row : packet.rows) {
        nlohmann::json values = nlohmann::json::array();
        for (const auto& value : row) values.push_back(ValueToJson(value));
        rows.push_back(std::move(values));
    }
    return {{"columns", std::move(columns)}, {"rows", std::move(rows)}};
}

DataPacket PacketFromJson(const nlohmann::json& json) {
    if (!json.is_object() || !json.contains("columns") || !json["columns"].is_array() || !json.contains("rows") ||
        !json["rows"].is_array()) {
        throw EPacketError("Pacote de dados inválido: faltam as colunas ou as linhas.");
    }
    DataPacket packet;
    for (const auto& entry : json["columns"]) {
        if (!entry.is_object() || !entry.contains("name") || !entry["name"].is_string() || !entry.contains("type") ||
            !entry["type"].is_string()) {
            throw EPacketError("Pacote de dados inválido: coluna sem nome ou tipo.");
        }
        PacketColumn column;
        column.name = entry["name"].get<std::string>();
        const auto& type = entry["type"].get_ref<const std::string&>();
        if (type == "string") {
            column.type = TFieldType::ftString;
        } else if (type == "datetime") {
            column.type = TFieldType::ftDateTime;
        } else {
            throw EPacketError("Pacote de dados: tipo '" + type + "' desconhecido na coluna '" + column.name + "'.");
        }
        if (entry.contains("size") && entry["size"].is_number_integer()) column.size = entry["size"].get<int>();
        packet.columns.push_back(std::move(column));
    }
    for (const auto& row : json["rows"]) {
        if (!row.is_array() || row.size() != packet.columns.size()) {
            throw EPacketError("Pacote de dados inválido: linha com número errado de valores.");
        }
        std::vector<FieldValue> values;
        values.reserve(row.size());
        for (std::size_t i = 0; i < row.size(); ++i) values.push_back(ValueFromJson(row[i], packet.columns[i]));
        packet.rows.push_back(std::move(values));
    }
    return packet;
}

}  // namespace hostlib

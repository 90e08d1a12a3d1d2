#include "date_audit_client.h"

#include <span>

#include "packet_field_type.h"

namespace host {

namespace {

struct ColumnLabel {
    std::string_view name;
    std::string_view label;
};

constexpr ColumnLabel kLabels[] = {
    {"NRHISTORICO", "Nº"},
    {"NMTABELA", "Tabela"},
    {"CDCHAVE", "Código"},
    {"DTANTERIOR", "Data anterior"},
    {"DTNOVA", "Nova data"},
    {"NMCLIENTE", "Cliente"},
    {"NMUSUARIO", "Usuário"},
    {"DSORIGEM", "Origem"},
    {"DTREGISTRO", "Registrado em (UTC)"},
    {"DSDTANTERIOR", "Data anterior ilegível"},
    {"CDCTRLNUMENF", "Controle"},
    {"DTEMISCTNUNF", "Última data de emissão"},
    {"DTEMISSAO", "Última nota fiscal"},
    {"DSSITUACAO", "Situação"},
};

std::string LabelOf(std::string_view column) {
    for (const auto& entry : kLabels) {
        if (entry.name == column) return std::string(entry.label);
    }
    return std::string(column);
}

// The columns the contract promises, so that a packet lacking one is refused by name.
void Declare(hostlib::TClientDataSet& dataset, std::span<const vor17000::PacketColumn> columns) {
    for (const auto& column : columns) {
        dataset.FieldDefs.push_back(
            {std::string(column.name), vor17000::FieldTypeOf(column.type), column.size, false, LabelOf(column.name), true});
    }
}

// Columns a packet brought beyond those declared are shown too when this host knows them.
void ShowKnownPacketColumns(hostlib::TClientDataSet& dataset, std::size_t declared) {
    for (std::size_t f = declared; f < dataset.FieldDefs.size(); ++f) {
        auto& def = dataset.FieldDefs[f];
        const std::string label = LabelOf(def.Name);
        if (label == def.Name) continue;
        def.DisplayLabel = label;
        def.Visible = true;
    }
}

}  // namespace

std::string_view HistoryTableName(HistoryTable table) {
    return table == HistoryTable::NumberingControls ? vor17000::kControlsTable : vor17000::kLocationsTable;
}

std::optional<HistoryTable> HistoryTableFromName(std::string_view name) {
    for (HistoryTable table : {HistoryTable::NumberingControls, HistoryTable::IssueLocations}) {
        if (hostlib::SameName(name, HistoryTableName(table))) return table;
    }
    return std::nullopt;
}

DateAuditClient::DateAuditClient(hostlib::TApplication& application) : application_(application) {
    connection_.ServerName = std::string(vor17000::kServerName);
    // Where the server is, as the host says when the connection is made (as the screen's).
    connection_.BeforeConnect = [this](hostlib::TObject&) {
        connection_.Host = application_.Values().WebURL;
        connection_.Port = application_.Values().WebPort;
    };
    Declare(history_, std::span(vor17000::kHistoricoColumns).first(vor17000::kHistoricoColumnsOfEveryServer));
    Declare(drift_, vor17000::kDivergenciasColumns);
}

const hostlib::TClientDataSet& DateAuditClient::History(HistoryTable table, const std::string& code) {
    // The limit goes as a text of digits, which the server takes as the number.
    const auto packet = connection_.AppServer().CallPacket(
        vor17000::MethodName(vor17000::Method::GetHistorico),
        {std::string(HistoryTableName(table)), code, std::to_string(kHistoryRowLimit)});
    history_.SetData(packet);
    ShowKnownPacketColumns(history_, vor17000::kHistoricoColumnsOfEveryServer);
    return history_;
}

const hostlib::TClientDataSet& DateAuditClient::Drift() {
    drift_.SetData(connection_.AppServer().CallPacket(vor17000::MethodName(vor17000::Method::GetDivergencias), {}));
    return drift_;
}

}  // namespace host

#include "hostlib/net/client_dataset.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

namespace hostlib {

void TClientDataSet::SetData(const DataPacket& packet) {
    // The fields the last packet brought along are its own: a later packet without them
    // (a server of another version) must still load.
    const std::size_t declared = FieldDefs.size() - packet_fields_;
    // Check every declared field before anything changes.
    std::vector<std::size_t> source(declared);
    for (std::size_t f = 0; f < declared; ++f) {
        const auto& def = FieldDefs[f];
        const auto column = std::find_if(packet.columns.begin(), packet.columns.end(),
                                         [&](const PacketColumn& c) { return SameName(c.name, def.Name); });
        if (column == packet.columns.end()) {
            throw EPacketError(Name() + ": o pacote não tem a coluna '" + def.Name + "'.");
        }
        if (column->type != def.DataType) {
            throw EPacketError(Name() + ": a coluna '" + def.Name + "' do pacote tem tipo incompatível.");
        }
        source[f] = static_cast<std::size_t>(column - packet.columns.begin());
    }
    // Columns nobody declared come along as fields of this packet only.
    FieldDefs.resize(declared);
    packet_fields_ = 0;
    for (std::size_t c = 0; c < packet.columns.size(); ++c) {
        if (std::find(source.begin(), source.end(), c) != source.end()) continue;
        const auto& column = packet.columns[c];
        const std::size_t before = FieldDefs.size();
        if (DefineField(TFieldDef{column.name, column.type, column.size, false, column.name, false}) < before) {
            continue;  // the same name twice: the first column holds it
        }
        ++packet_fields_;
        source.push_back(c);
    }
    std::vector<std::vector<FieldValue>> rows;
    rows.reserve(packet.rows.size());
    for (const auto& packet_row : packet.rows) {
        std::vector<FieldValue> row(source.size());
        for (std::size_t f = 0; f < source.size(); ++f) row[f] = packet_row[source[f]];
        rows.push_back(std::move(row));
    }
    Assign(std::move(rows));
}

}  // namespace hostlib

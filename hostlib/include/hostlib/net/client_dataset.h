#pragma once
// A dataset filled only by data packets from the application server.
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "hostlib/db/dataset.h"
#include "hostlib/net/data_packet.h"

namespace hostlib {

class TClientDataSet : public TDataSet {
public:
    using TDataSet::TDataSet;

    // Replaces the whole content with the packet, opens the dataset and makes the first row
    // current. Every declared field must come in the packet with its type; a packet that
    // lacks one, or holds it with another type, raises EPacketError naming the column and
    // leaves the dataset as it was. Other columns are fields of that packet only.
    void SetData(const DataPacket& packet);
    void SetData(const nlohmann::json& packet) { SetData(PacketFromJson(packet)); }

    std::string ProviderName;

protected:
    // Opening without a packet gives no rows; the content is only ever what SetData gave.
    std::vector<std::vector<FieldValue>> Fetch() override { return Rows(); }

private:
    // How many of FieldDefs, at their end, came with the last packet undeclared.
    std::size_t packet_fields_ = 0;
};

}  // namespace hostlib

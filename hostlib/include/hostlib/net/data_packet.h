#pragma once
// Data packets: the tables the application server returns, and their JSON form on the wire:
// {"columns": [{"name", "type": "string"|"datetime", "size"}], "rows": [[...]]}, NULL as null,
// date-times as "YYYY-MM-DDTHH:MM:SS".
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "hostlib/db/dataset.h"
#include "core/exceptions.h"

namespace hostlib {

struct PacketColumn {
    std::string name;
    TFieldType type = TFieldType::ftString;
    int size = 0;
};

struct DataPacket {
    std::vector<PacketColumn> columns;
    std::vector<std::vector<FieldValue>> rows;
};

// A packet that is not well formed, or does not fit the dataset it is given to.
class EPacketError : public Exception {
    using Exception::Exception;
};

nlohmann::json PacketToJson(const DataPacket& packet);
// Raises EPacketError saying what is wrong (naming the column where one is at fault).
DataPacket PacketFromJson(const nlohmann::json& json);

}  // namespace hostlib

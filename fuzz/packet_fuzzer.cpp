// Fuzzes the client's packet loading: any bytes as the JSON of a data packet, given to a
// client dataset with the series layout.
#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "hostlib/net/client_dataset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded()) return 0;
    hostlib::TClientDataSet dataset(nullptr, "cdsFuzz");
    dataset.FieldDefs = {
        {"CDSERIE", hostlib::TFieldType::ftString, 5, false, "Código", true},
        {"DTEMISCTNUNF", hostlib::TFieldType::ftDateTime, 0, false, "Data", false},
    };
    try {
        dataset.SetData(json);
        // Read back every field of every row as the screen would.
        for (std::size_t r = 0; r < dataset.RecordCount(); ++r) {
            dataset.MoveTo(r);
            for (std::size_t c = 0; c < dataset.FieldDefs.size(); ++c) {
                const hostlib::TField field(dataset, c);
                (void)field.IsNull();
                (void)field.AsString();
                try {
                    (void)field.AsDateTime();
                } catch (const hostlib::EConvertError&) {
                }
            }
        }
    } catch (const hostlib::EPacketError&) {
        // A packet that does not fit is refused with a reason: that is the point.
    }
    return 0;
}

#pragma once
// A packet column's type as the host library's datasets know it: for the screen and the host,
// which read packets into datasets (the server sends them and needs no datasets).
#include "data_emissao_contract.h"
#include "hostlib/db/dataset.h"

namespace vor17000 {

constexpr hostlib::TFieldType FieldTypeOf(ColumnType type) {
    return type == ColumnType::DateTime ? hostlib::TFieldType::ftDateTime : hostlib::TFieldType::ftString;
}

}  // namespace vor17000

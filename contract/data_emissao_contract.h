#pragma once
// The wire contract of the remote data module "VOR17000.rdmDataEmissao", shared by the server
// that offers it and the screen that calls it: method names and their parameter counts, and
// the columns of the two data packets.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>


// Constants of namespace scope, not inline: each program and module has its own copy, so the
// module keeps no symbol shared across loaded libraries and unloads when it is let go.
namespace vor17000 {

constexpr std::string_view kServerName = "VOR17000.rdmDataEmissao";

enum class Method { GetSerieNF, GetMaxData, UpdateCtrlNumNF, UpDtLocal, GetHistorico, GetDivergencias };

struct MethodSignature {
    Method method;
    std::string_view name;
    std::size_t arity;
    // How many of the last parameters may be left out.
    std::size_t optional = 0;
};

constexpr std::array<MethodSignature, 6> kMethods = {{
    {Method::GetSerieNF, "GetSerieNF", 5},
    {Method::GetMaxData, "GetMaxData", 1},
    // date, code, and optionally what the screen saw (see kPreviousMember below)
    {Method::UpdateCtrlNumNF, "UpdateCtrlNumNF", 3, 1},
    {Method::UpDtLocal, "UpDtLocal", 3, 1},
    // table ("CTRLNUMENF" or "LOCALEMISSAO"), code (empty: every code), most rows (1 to 1000)
    {Method::GetHistorico, "GetHistorico", 3},
    // most rows (1 to 1000), the code to start after (""): a page; none: every control
    {Method::GetDivergencias, "GetDivergencias", 2, 2},
}};

static_assert(
    [] {
        for (std::size_t i = 0; i < kMethods.size(); ++i) {
            if (kMethods[i].method != static_cast<Method>(i)) return false;
        }
        return true;
    }(),
    "kMethods is in the order of Method");

constexpr MethodSignature SignatureOf(Method method) { return kMethods[static_cast<std::size_t>(method)]; }
// The name a call gives the method.
inline std::string MethodName(Method method) { return std::string(SignatureOf(method).name); }

// The third parameter of a store, an object: what the screen saw and the check it ran, for the
// server to repeat inside the store's own transaction.
constexpr std::string_view kPreviousMember = "anterior";  // the stored date the screen read, or null
constexpr std::string_view kInvoicesMember = "notas";     // the check against the latest invoice:
constexpr std::string_view kInvoicesByTime = "hora";      //   by whole date and time
constexpr std::string_view kInvoicesByDay = "dia";        //   by calendar day
constexpr std::string_view kControlMember = "controle";   // UpDtLocal: the series' numbering control

// A store refused by that parameter: -32000 with data {"motivo": ..., ...}.
constexpr std::string_view kReasonMember = "motivo";
constexpr std::string_view kChangedMeanwhile = "alterada";  // data "atual" (date or null), "usuario"
constexpr std::string_view kCurrentMember = "atual";
constexpr std::string_view kUserMember = "usuario";
constexpr std::string_view kEarlierThanInvoice = "notas";  // data "emissao": the latest invoice's date
constexpr std::string_view kInvoiceMember = "emissao";

// What a date earlier than the latest invoice is told, "%s" the invoice's date as a field shows it.
constexpr std::string_view kEarlierThanInvoiceText =
    "Próxima data de emissão deve ser maior ou igual a %s (data da última emissão).";

// What a packet column holds: a text of at most `size` characters, or a date and time.
enum class ColumnType { Text, DateTime };

struct PacketColumn {
    std::string_view name;
    ColumnType type;
    int size;  // texts only
};

// The tables whose dates have a history, by the names GetHistorico and the history rows use.
constexpr std::string_view kControlsTable = "CTRLNUMENF";
constexpr std::string_view kLocationsTable = "LOCALEMISSAO";

// GetDivergencias: the verdict on each numbering control.
constexpr std::string_view kVerdictOk = "ok";
constexpr std::string_view kVerdictLate = "atrasado";     // its last date on a day before the latest invoice
constexpr std::string_view kVerdictNoDate = "sem data";   // no last date, but invoices
constexpr std::string_view kVerdictUnreadable = "ilegível";  // a date of it in no form the server reads

// GetSerieNF: the series rows, in this order.
constexpr std::array<PacketColumn, 7> kSerieNFColumns = {{
    {"CDSERIE", ColumnType::Text, 5},
    {"DSSERIE", ColumnType::Text, 20},
    {"CDCTRLNUMENF", ColumnType::Text, 10},
    {"DTEMISCTNUNF", ColumnType::DateTime, 0},
    {"IDCONSDTEMIS", ColumnType::Text, 1},
    {"IDUTLOCAEMIS", ColumnType::Text, 1},
    {"IDUTDTPREMIS", ColumnType::Text, 1},
}};

// GetMaxData: the latest invoice's date.
constexpr std::array<PacketColumn, 1> kMaxDataColumns = {{
    {"DTEMISSAO", ColumnType::DateTime, 0},
}};

// GetHistorico: the stores, newest first. DSDTANTERIOR, the text of an old date no form reads
// (DTANTERIOR then null), came after the others: hosts ask for the columns before it, which
// servers of every version send, and take it when the packet brings it.
constexpr std::array<PacketColumn, 10> kHistoricoColumns = {{
    {"NRHISTORICO", ColumnType::Text, 20},
    {"NMTABELA", ColumnType::Text, 12},
    {"CDCHAVE", ColumnType::Text, 10},
    {"DTANTERIOR", ColumnType::DateTime, 0},
    {"DTNOVA", ColumnType::DateTime, 0},
    {"NMCLIENTE", ColumnType::Text, 64},
    {"NMUSUARIO", ColumnType::Text, 64},
    {"DSORIGEM", ColumnType::Text, 64},
    {"DTREGISTRO", ColumnType::DateTime, 0},
    {"DSDTANTERIOR", ColumnType::Text, 64},
}};
constexpr std::size_t kHistoricoColumnsOfEveryServer = 9;

// GetDivergencias: each numbering control beside its latest invoice, with a verdict (above).
constexpr std::array<PacketColumn, 4> kDivergenciasColumns = {{
    {"CDCTRLNUMENF", ColumnType::Text, 10},
    {"DTEMISCTNUNF", ColumnType::DateTime, 0},
    {"DTEMISSAO", ColumnType::DateTime, 0},
    {"DSSITUACAO", ColumnType::Text, 8},
}};

}  // namespace vor17000

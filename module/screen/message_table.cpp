#include "message_table.h"

namespace Cli_Vor17000 {

void LoadMessageTable(hostlib::TMessages& messages) {
    messages.SetLines({
        "Data_Inv|Próxima data de emissão deve ser maior ou igual a %s (data da última emissão).",
        "Data_Inf|Próxima data de emissão deve ser informada.",
        "Emp_Inf|Empresa deve ser informada.",
        "Emp_Cad|Empresa não cadastrada.",
        "Insc_Inf|Inscrição estadual deve ser informada.",
        "Insc_Cad|Inscrição estadual não cadastrada.",
        "Serie_Inf|Série deve ser informada.",
        "Serie_Cad|Série de documentos de saída não cadastrada.",
        "Get_cdsMaxData|Verificando notas fiscais...",
        "Pro_UpdateCtrlNumNF|Atualizando controle de numeração de notas fiscais...",
        "InscM_Inf|Inscrição municipal deve ser informada.",
        "InscM_Cad|Inscrição municipal não cadastrada.",
        "Ctrl_Inf|Controle de numeração de NF não cadastrado para a série informada.",
        "Local_Inf|Local de emissão deve ser informado.",
        "Local_Inv|Local de emissão não cadastrado.",
        "Data_Proc|Data de emissão não pode ser alterada, pois a série utiliza data de processamento como data "
        "de emissão.",
        "OK|OK",
    });
}

}  // namespace Cli_Vor17000

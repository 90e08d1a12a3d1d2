#include "lookup_queries.h"

#include "frmDataEmissao.h"

namespace Cli_Vor17000 {

using namespace hostlib;

namespace {

TFieldDef Text(const char* name, int size, const char* label, bool required = false) {
    return TFieldDef{name, TFieldType::ftString, size, required, label, true};
}

TFieldDef Hidden(const char* name, TFieldType type, int size) {
    return TFieldDef{name, type, size, false, name, false};
}

}  // namespace

void ConfigureLookupQueries(TfrmDataEmissao& screen) {
    screen.qryEmpresa.SetSQL({
        "SELECT CDEMPRESA, NMEMPRESA",
        "FROM EMPRESA",
        "WHERE (CDEMPRESA = :P_CDEMPRESA OR :P_TCDEMPRESA = 'T')",
        "ORDER BY CDEMPRESA",
    });
    screen.qryEmpresa.FieldDefs = {Text("CDEMPRESA", 2, "Código", true), Text("NMEMPRESA", 40, "Nome")};
    screen.dtsEmpresa.DataSet = &screen.qryEmpresa;

    screen.qryInscrEstad.SetSQL({
        "SELECT CDINSCESTA, NMREPRINSEST",
        "FROM INSCRESTAD",
        "WHERE (CDEMPRESA  = :P_CDEMPRESA) AND",
        "      (CDINSCESTA = :P_CDINSCESTA OR :P_TCDINSCESTA = 'T')",
        "ORDER BY CDINSCESTA",
        " ",
    });
    screen.qryInscrEstad.FieldDefs = {Text("CDINSCESTA", 16, "Código", true),
                                      Text("NMREPRINSEST", 40, "Representante Legal")};
    screen.dtsInscEstad.DataSet = &screen.qryInscrEstad;

    screen.qryInscMuni.SetSQL({
        "SELECT",
        "   CDINSCMUNI, NMREPRINSMUN",
        "FROM",
        "   INSCRMUNICIP",
        "WHERE",
        "   (CDEMPRESA =  :P_CDEMPRESA)   AND",
        "   (CDINSCMUNI = :P_CDINSCMUNI OR :P_TCDINSCMUNI = 'T')",
        "ORDER BY",
        "   CDINSCMUNI",
        " ",
        " ",
    });
    screen.qryInscMuni.FieldDefs = {Text("CDINSCMUNI", 16, "Código", true),
                                    Text("NMREPRINSMUN", 40, "Representante Legal")};
    screen.dtsInscMuni.DataSet = &screen.qryInscMuni;

    screen.qryLocalEmiss.SetSQL({
        "SELECT",
        "   CDLOCALEMIS,",
        "   DSLOCALEMIS",
        "FROM",
        "   LOCALEMISSAO",
        "ORDER BY",
        "   CDLOCALEMIS",
    });
    screen.qryLocalEmiss.FieldDefs = {Text("CDLOCALEMIS", 4, "Código"), Text("DSLOCALEMIS", 40, "Descrição")};
    screen.dtsLocalEmiss.DataSet = &screen.qryLocalEmiss;

    screen.qryVdLocalEmiss.SetSQL({
        "SELECT",
        "   CDLOCALEMIS,",
        "   DSLOCALEMIS,",
        "   DTULTEMISLCE",
        "FROM",
        "   LOCALEMISSAO",
        "WHERE",
        "   CDLOCALEMIS = :P_CDLOCALEMIS",
    });
    screen.qryVdLocalEmiss.FieldDefs = {Hidden("CDLOCALEMIS", TFieldType::ftString, 4),
                                        Hidden("DSLOCALEMIS", TFieldType::ftString, 40),
                                        Hidden("DTULTEMISLCE", TFieldType::ftDateTime, 0)};
}

}  // namespace Cli_Vor17000

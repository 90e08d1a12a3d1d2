#include "frmDataEmissao.h"

#include <array>
#include <map>
#include <string_view>

#include "packet_field_type.h"

#include "language_resources.h"
#include "lookup_queries.h"
#include "message_table.h"

namespace Cli_Vor17000 {

using namespace hostlib;

namespace {

enum class Role { Input, Display };

void Place(TControl& control, TWinControl& parent, TBounds bounds) {
    control.SetParent(&parent);
    control.Bounds = bounds;
}

// Labels take the group box's bold font.
void Label(TLabel& label, TWinControl& parent, TBounds bounds, const char* caption) {
    Place(label, parent, bounds);
    label.SetCaption(caption);
    label.FontBold = true;
}

// Input fields take the info-background colour; display fields are button-face, disabled
// and out of the Tab order.
void Field(TCustomEdit& edit, TWinControl& parent, TBounds bounds, int tab_order, Role role) {
    Place(edit, parent, bounds);
    edit.TabOrder = tab_order;
    if (role == Role::Input) {
        edit.SetColor(TColor::clInfoBk);
    } else {
        edit.SetColor(TColor::clBtnFace);
        edit.SetEnabled(false);
        edit.TabStop = false;
    }
}

void LookupButton(TBtnPesquisa& button, TWinControl& parent, int left, int top, TCustomEdit& field, TDataSource& source,
                  const char* title, const char* empty_text) {
    Place(button, parent, {left, top, 21, 21});
    button.Hint = "Pesquisar";
    button.Associate = &field;
    button.DataSource = &source;
    button.Title = title;
    button.EmptyText = empty_text;
}

void DateEdit(TDateEditPlus& edit) {
    edit.ValidDateColor = TColor::clBlue;
}

}  // namespace

TfrmDataEmissao::TfrmDataEmissao(TComponent* owner)
    : TfrmRotiGeral(owner, "frmDataEmissao"),
      panStatus(Create<TPanel>("panStatus")),
      lblStatus(Create<TLabel>("lblStatus")),
      lblEmpresa(Create<TLabel>("lblEmpresa")),
      medCdEmpresa(Create<TMaskEdit>("medCdEmpresa")),
      btpEmpresa(Create<TBtnPesquisa>("btpEmpresa")),
      edtNmEmpresa(Create<TEdit>("edtNmEmpresa")),
      lblInscEstad(Create<TLabel>("lblInscEstad")),
      medInscEstad(Create<TMaskEdit>("medInscEstad")),
      btpInscEstad(Create<TBtnPesquisa>("btpInscEstad")),
      lblInscMuni(Create<TLabel>("lblInscMuni")),
      medInscMuni(Create<TMaskEdit>("medInscMuni")),
      btpInscMuni(Create<TBtnPesquisa>("btpInscMuni")),
      lblSerie(Create<TLabel>("lblSerie")),
      edtCdSerie(Create<TEdit>("edtCdSerie")),
      btpSerie(Create<TBtnPesquisa>("btpSerie")),
      bvl1(Create<TBevel>("bvl1")),
      lblLocal(Create<TLabel>("lblLocal")),
      edtCdLocal(Create<TEdit>("edtCdLocal")),
      btpLocal(Create<TBtnPesquisa>("btpLocal")),
      edtDsLocal(Create<TEdit>("edtDsLocal")),
      bvlLocal(Create<TBevel>("bvlLocal")),
      panData(Create<TPanel>("panData")),
      lblDtprocessa(Create<TLabel>("lblDtprocessa")),
      depDtUltEmiss(Create<TDateEditPlus>("depDtUltEmiss")),
      medDiaSem(Create<TMaskEdit>("medDiaSem")),
      lblProxData(Create<TLabel>("lblProxData")),
      depProxDtEmiss(Create<TDateEditPlus>("depProxDtEmiss")),
      medProxDiaSem(Create<TMaskEdit>("medProxDiaSem")),
      qryEmpresa(Create<TADOIBQuery>("qryEmpresa")),
      qryInscrEstad(Create<TADOIBQuery>("qryInscrEstad")),
      qryInscMuni(Create<TADOIBQuery>("qryInscMuni")),
      qryLocalEmiss(Create<TADOIBQuery>("qryLocalEmiss")),
      qryVdLocalEmiss(Create<TADOIBQuery>("qryVdLocalEmiss")),
      dtsEmpresa(Create<TDataSource>("dtsEmpresa")),
      dtsInscEstad(Create<TDataSource>("dtsInscEstad")),
      dtsInscMuni(Create<TDataSource>("dtsInscMuni")),
      dtsLocalEmiss(Create<TDataSource>("dtsLocalEmiss")),
      netDataEmissao(Create<TNetConnection>("netDataEmissao")),
      cdsSerieNF(Create<TClientDataSet>("cdsSerieNF")),
      cdsMaxData(Create<TClientDataSet>("cdsMaxData")),
      dtsSerieNF(Create<TDataSource>("dtsSerieNF")) {
    LayOutFrame();
    LayOutCodeRows();
    LayOutDateArea();
    LoadMessageTable(msgPadrao);
    ConfigureLookupQueries(*this);
    ConfigureRemoteData();
    WireEvents();
    Pkg_Vor17000::ApplyLanguageResources(*this);
}

namespace {

// A dataset's fields from the packet columns the server declares: names, types and sizes
// are the wire contract's; the labels and which fields a lookup shows are the screen's.
template <std::size_t N>
std::vector<TFieldDef> FieldsOf(const std::array<vor17000::PacketColumn, N>& columns,
                                const std::map<std::string_view, std::string_view>& shown_labels) {
    std::vector<TFieldDef> fields;
    for (const auto& column : columns) {
        const auto shown = shown_labels.find(column.name);
        const std::string name(column.name);
        fields.push_back({name, vor17000::FieldTypeOf(column.type), column.size, false,
                          shown != shown_labels.end() ? std::string(shown->second) : name,
                          shown != shown_labels.end()});
    }
    return fields;
}

}  // namespace

void TfrmDataEmissao::ConfigureRemoteData() {
    netDataEmissao.ServerName = std::string(vor17000::kServerName);
    // Replaced before every connection attempt by the host's address and port.
    netDataEmissao.Host = "127.0.0.1";
    netDataEmissao.ThrowException = false;

    cdsSerieNF.ProviderName = "dspSerieNF";
    cdsSerieNF.FieldDefs = FieldsOf(vor17000::kSerieNFColumns, {{"CDSERIE", "Código"}, {"DSSERIE", "Descrição"}});
    dtsSerieNF.DataSet = &cdsSerieNF;

    cdsMaxData.ProviderName = "dspMaxData";
    cdsMaxData.FieldDefs = FieldsOf(vor17000::kMaxDataColumns, {{"DTEMISSAO", "DTEMISSAO"}});
}

void TfrmDataEmissao::WireEvents() {
    OnActivate = [this](TObject& sender) { FormActivate(sender); };
    netDataEmissao.BeforeConnect = [this](TObject& sender) { netDataEmissaoBeforeConnect(sender); };
    medCdEmpresa.OnChange = [this](TObject& sender) { medCdEmpresaChange(sender); };
    medCdEmpresa.OnExit = [this](TObject& sender) { medCdEmpresaExit(sender); };
    medInscEstad.OnChange = [this](TObject& sender) { medInscEstadChange(sender); };
    medInscEstad.OnExit = [this](TObject& sender) { medInscEstadExit(sender); };
    medInscMuni.OnChange = [this](TObject& sender) { medInscMuniChange(sender); };
    medInscMuni.OnExit = [this](TObject& sender) { medInscMuniExit(sender); };
    qryInscrEstad.BeforeOpen = [this](TDataSet& dataset) { qryInscrEstadBeforeOpen(dataset); };
    qryInscMuni.BeforeOpen = [this](TDataSet& dataset) { qryInscMuniBeforeOpen(dataset); };
    edtCdSerie.OnChange = [this](TObject& sender) { edtCdSerieChange(sender); };
    edtCdSerie.OnExit = [this](TObject& sender) { edtCdSerieExit(sender); };
    panData.OnEnter = [this](TObject& sender) { panDataEnter(sender); };
    edtCdLocal.OnChange = [this](TObject& sender) { edtCdLocalChange(sender); };
    edtCdLocal.OnExit = [this](TObject& sender) { edtCdLocalExit(sender); };
    depDtUltEmiss.OnChange = [this](TObject& sender) { depDtUltEmissChange(sender); };
    depProxDtEmiss.OnChange = [this](TObject& sender) { depProxDtEmissChange(sender); };
    depProxDtEmiss.OnExit = [this](TObject& sender) { depProxDtEmissExit(sender); };
    btpEmpresa.OnBeforePesq = [this](TObject& sender, bool& proceed) { btpEmpresaBeforePesq(sender, proceed); };
    btpEmpresa.OnAfterPesq = [this](TObject& sender) { btpEmpresaAfterPesq(sender); };
    btpInscEstad.OnBeforePesq = [this](TObject& sender, bool& proceed) { btpInscEstadBeforePesq(sender, proceed); };
    btpInscEstad.OnAfterPesq = [this](TObject& sender) { btpInscEstadAfterPesq(sender); };
    btpInscMuni.OnBeforePesq = [this](TObject& sender, bool& proceed) { btpInscMuniBeforePesq(sender, proceed); };
    btpInscMuni.OnAfterPesq = [this](TObject& sender) { btpInscMuniAfterPesq(sender); };
    btpSerie.OnBeforePesq = [this](TObject& sender, bool& proceed) { btpSerieBeforePesq(sender, proceed); };
    btpSerie.OnAfterPesq = [this](TObject& sender) { btpSerieAfterPesq(sender); };
    btpLocal.OnBeforePesq = [this](TObject& sender, bool& proceed) { btpLocalBeforePesq(sender, proceed); };
    btpLocal.OnAfterPesq = [this](TObject& sender) { btpLocalAfterPesq(sender); };
    sbtConfirma.OnClick = [this](TObject& sender) { sbtConfirmaClick(sender); };
}

void TfrmDataEmissao::LayOutFrame() {
    SetCaption("Alterar Data de Emissão");
    ClientWidth = 488;
    ClientHeight = 189;
    Bounds = {281, 201, 488, 189};
    HelpFile = "VorHelp.hlp";
    HelpContext = 10917000;
    lblCodTela.SetCaption("VOR17000");
    lblCodTela.Bounds.Width = 51;

    // After the button panel in the child order; empty until something needs a status line.
    panStatus.SetParent(this);
    panStatus.Align = TAlign::alBottom;
    panStatus.BevelOuter = false;
    panStatus.Bounds = {0, 189, 488, 0};
    panStatus.TabOrder = 2;
    Place(lblStatus, panStatus, {4, 0, 200, 0});
    lblStatus.FontBold = true;
}

void TfrmDataEmissao::LayOutCodeRows() {
    TWinControl& box = grbDadosRel;
    Label(lblEmpresa, box, {8, 18, 118, 13}, "Empresa");
    Field(medCdEmpresa, box, {128, 14, 25, 21}, 0, Role::Input);
    medCdEmpresa.SetEditMask("99;0; ");
    medCdEmpresa.MaxLength = 2;
    LookupButton(btpEmpresa, box, 155, 14, medCdEmpresa, dtsEmpresa, "Empresa", "Não há empresa cadastrada.");
    Field(edtNmEmpresa, box, {178, 14, 247, 21}, 1, Role::Display);

    Label(lblInscEstad, box, {8, 42, 118, 13}, "Inscrição Estadual");
    Field(medInscEstad, box, {128, 38, 121, 21}, 2, Role::Input);
    medInscEstad.CharCase = TEditCharCase::ecUpperCase;
    medInscEstad.MaxLength = 16;
    LookupButton(btpInscEstad, box, 251, 38, medInscEstad, dtsInscEstad, "Inscrição Estadual",
                 "Não há inscrição estadual cadastrada para a empresa informada.");

    Label(lblInscMuni, box, {8, 66, 118, 13}, "Inscrição Municipal");
    Field(medInscMuni, box, {128, 62, 121, 21}, 3, Role::Input);
    LookupButton(btpInscMuni, box, 251, 62, medInscMuni, dtsInscMuni, "Inscrição Municipal",
                 "Não há inscrição municipal cadastrada para a empresa informada.");

    Place(bvl1, box, {2, 15, 429, 75});
    bvl1.Shape = TBevelShape::bsBottomLine;
    bvl1.Align = TAlign::alTop;

    Label(lblSerie, box, {8, 98, 118, 13}, "Série");
    Field(edtCdSerie, box, {128, 94, 49, 21}, 4, Role::Input);
    edtCdSerie.CharCase = TEditCharCase::ecUpperCase;
    edtCdSerie.MaxLength = 5;
    LookupButton(btpSerie, box, 179, 94, edtCdSerie, dtsSerieNF, "Série de Documentos de Saída",
                 "Não há série de documentos de saída cadastrada para a inscrição estadual informada.");

    Label(lblLocal, box, {8, 122, 118, 13}, "Local de Emissão");
    lblLocal.SetEnabled(false);
    Field(edtCdLocal, box, {128, 118, 37, 21}, 10, Role::Input);
    edtCdLocal.MaxLength = 4;
    edtCdLocal.SetColor(TColor::clBtnFace);
    edtCdLocal.SetEnabled(false);
    LookupButton(btpLocal, box, 167, 118, edtCdLocal, dtsLocalEmiss, "Local de Emissão",
                 "Não há local de emissão cadastrado.");
    btpLocal.SetEnabled(false);
    Field(edtDsLocal, box, {190, 118, 235, 21}, 12, Role::Display);

    Place(bvlLocal, box, {2, 143, 429, 2});
    bvlLocal.Shape = TBevelShape::bsTopLine;
}

void TfrmDataEmissao::LayOutDateArea() {
    Place(panData, grbDadosRel, {2, 145, 429, 42});
    panData.BevelOuter = false;
    panData.TabStop = true;
    panData.TabOrder = 5;

    Label(lblDtprocessa, panData, {6, 4, 200, 13}, "Data de Emissão");
    lblDtprocessa.SetEnabled(false);
    Field(depDtUltEmiss, panData, {6, 19, 87, 21}, 0, Role::Display);
    DateEdit(depDtUltEmiss);
    Field(medDiaSem, panData, {95, 19, 110, 21}, 1, Role::Display);

    Label(lblProxData, panData, {216, 4, 200, 13}, "Próx. Data de Emissão");
    lblProxData.SetEnabled(false);
    Field(depProxDtEmiss, panData, {216, 19, 87, 21}, 2, Role::Input);
    DateEdit(depProxDtEmiss);
    depProxDtEmiss.SetEnabled(false);
    Field(medProxDiaSem, panData, {305, 19, 118, 21}, 3, Role::Display);
}

}  // namespace Cli_Vor17000

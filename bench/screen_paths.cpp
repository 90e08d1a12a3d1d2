#include "screen_paths.h"

#include <soci/soci.h>
#include <nlohmann/json.hpp>

#include <thread>

#include "Cli_Vor17000.h"
#include "Pkg_Vor17000.h"
#include "app_server.h"
#include "data_emissao_contract.h"
#include "frmDataEmissao.h"
#include "hostlib/application.h"
#include "hostlib/db/data_module.h"
#include "hostlib/net/net_connection.h"

namespace bench {

namespace {

// The floor of a call: a method the server does not have, answered by the HTTP and JSON-RPC
// layers alone (the error it raises is part of what every call pays to read an answer).
void CallNothing(hostlib::TNetConnection& connection) {
    try {
        connection.AppServer().Call("Ping", {});
    } catch (const hostlib::Exception&) {
    }
}

// A host that shows nothing: the benchmark measures the screen, not dialogs.
class SilentHost : public hostlib::HostServices {
public:
    // Kept, so that a path that failed (a Confirm that stored nothing) shows in the table
    // instead of being timed as if it had worked.
    void ShowError(const std::string& text) override { last_exception = text; }
    void ShowException(const std::string& text, const std::string&) override { last_exception = text; }
    int ShowAlert(const std::string&, hostlib::TMsgDlgType, const std::vector<std::string>&, int) override { return 0; }
    void ShowBusy(hostlib::TForm*, hostlib::TShowAvi, const std::string&) override {}
    void HideBusy() override {}
    std::optional<std::size_t> ChooseFromList(const hostlib::LookupList&) override { return std::nullopt; }
    void ShowEmptyList(const std::string&, const std::string&) override {}
    void RefreshLocalCache(const std::vector<std::string>&) override {}
    void FormClosed(hostlib::TForm&) override {}
    std::string last_exception;
};

// The point queries the screen's paths make, prepared once.
class PointQueries {
public:
    explicit PointQueries(soci::session& session)
        : company_((session.prepare << "SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = :c", soci::use(code_, "c"),
                    soci::into(text_))),
          state_((session.prepare << "SELECT NMREPRINSEST FROM INSCRESTAD WHERE CDEMPRESA = :e AND CDINSCESTA = :c",
                  soci::use(company_code_, "e"), soci::use(state_code_, "c"), soci::into(text_))),
          municipal_(
              (session.prepare << "SELECT NMREPRINSMUN FROM INSCRMUNICIP WHERE CDEMPRESA = :e AND CDINSCMUNI = :c",
               soci::use(company_code_, "e"), soci::use(municipal_code_, "c"), soci::into(text_))),
          series_((session.prepare << "SELECT S.DSSERIE FROM SERIENF S LEFT JOIN CTRLNUMENF C ON C.CDCTRLNUMENF = "
                                      "S.CDCTRLNUMENF WHERE S.CDEMPRESA = :e AND S.CDINSCESTA = :i AND S.CDSERIE = :s",
                   soci::use(company_code_, "e"), soci::use(state_code_, "i"), soci::use(series_code_, "s"),
                   soci::into(text_))),
          latest_((session.prepare << "SELECT COUNT(DTEMISSAO) FROM NOTAFISCAL WHERE CDCTRLNUMENF = :c",
                   soci::use(control_, "c"), soci::into(count_))) {}

    void Registrations() {
        ReadOne(company_);
        ReadOne(state_);
        ReadOne(municipal_);
    }
    void SeriesAndLatest() {
        ReadOne(series_);
        ReadOne(latest_);
    }

private:
    // The row, and the step past it that ends the statement's read as the screen's do.
    static void ReadOne(soci::statement& statement) {
        if (statement.execute(true)) {
            while (statement.fetch()) {
            }
        }
    }

    std::string code_ = "01";
    std::string company_code_ = "01";
    std::string state_code_ = "110042490114";
    std::string municipal_code_ = "4587123";
    std::string series_code_ = "B";
    std::string control_ = "CTRLB";
    std::string text_;
    int count_ = 0;
    soci::statement company_;
    soci::statement state_;
    soci::statement municipal_;
    soci::statement series_;
    soci::statement latest_;
};

}  // namespace

void MeasureScreenPaths(const BenchDatabase& database, int iterations, std::vector<Row>& rows) {
    appserver::ServerOptions options;
    options.database_url = database.url;
    options.port = 0;
    options.log = appserver::RequestLog::None;
    appserver::AppServer server(options);
    server.Start();

    SilentHost host;
    hostlib::TApplication application(host);
    auto& module = application.Create<hostlib::TdtmDBGeral>("dtmDBGeral");
    module.Open(database.url);
    application.SetDataModule(&module);
    auto& values = application.Values();
    values.EmprProc = "01";
    values.IEstProc = "110042490114";
    values.IMunProc = "4587123";
    values.FiliProc = "1";
    values.WebURL = "127.0.0.1";
    values.WebPort = server.Port();
    Initialize();

    auto close_screen = [&] {
        if (Cli_Vor17000::boIdCriado) Cli_Vor17000::frmDataEmissao->Close();
        application.ProcessReleases();
    };

    PointQueries queries(module.Session());
    auto& ping_connection = application.Create<hostlib::TNetConnection>("netPing");
    ping_connection.ServerName = std::string(vor17000::kServerName);
    ping_connection.Host = "127.0.0.1";
    ping_connection.Port = server.Port();

    // Opening: IniProc until the screen has connected and looked up its three defaults.
    const SideBySide open = TimeSideBySide(iterations, {[] { IniProc(hostlib::Variant::Null()); }, close_screen},
                                           {[&] {
                                                hostlib::TNetConnection fresh(nullptr, "netFresh");
                                                fresh.ServerName = std::string(vor17000::kServerName);
                                                fresh.Port = server.Port();
                                                fresh.SetConnected(true);
                                                queries.Registrations();
                                            },
                                            {}});
    rows.push_back({"open the screen (connect, company, 2 registrations)", database.name, Micros(open.figure.Median()),
                    Micros(open.floor.Median()), Ratio(open.figure.Median(), open.floor.Median())});

    // Leaving the series field on the path that asks for the latest invoice (row N4).
    IniProc(hostlib::Variant::Null());
    auto& screen = *Cli_Vor17000::frmDataEmissao;
    const SideBySide series =
        TimeSideBySide(iterations,
                       {[&] {
                            screen.edtCdSerie.SetFocus();
                            screen.UserTab(hostlib::TabDirection::Forward);
                        },
                        [&] { screen.edtCdSerie.SetText(screen.edtCdSerie.Text() == "3" ? "4" : "3"); }},
                       {[&] {
                            CallNothing(ping_connection);
                            CallNothing(ping_connection);
                            queries.SeriesAndLatest();
                        },
                        {}});
    close_screen();
    rows.push_back({"leave the series field (GetSerieNF + GetMaxData)", database.name, Micros(series.figure.Median()),
                    Micros(series.floor.Median()), Ratio(series.figure.Median(), series.floor.Median())});

    // A whole Confirm on its longest path: every check, GetMaxData and UpdateCtrlNumNF. Each
    // Confirm stores a date the control did not hold, so that each commit really writes:
    // the control's last date moves between two days after 01/01/2025, which is typed. The
    // floor's own commits write two other days to a control of its own.
    int round = 0;
    auto set_last_date = [&] {
        const std::string last = ++round % 2 == 0 ? "2025-01-02 00:00:00" : "2025-01-03 00:00:00";
        module.Session() << "UPDATE CTRLNUMENF SET DTEMISCTNUNF = :d WHERE CDCTRLNUMENF = 'CTRLB'", soci::use(last);
    };
    auto prepare_confirm = [&] {
        close_screen();
        set_last_date();
        IniProc(hostlib::Variant::Null());
        auto& s = *Cli_Vor17000::frmDataEmissao;
        s.edtCdSerie.SetText("B");
        s.edtCdSerie.SetFocus();
        s.UserTab(hostlib::TabDirection::Forward);  // proposes the day after the last date
        s.depProxDtEmiss.SetText("01/01/2025");     // before the last: the check runs
        s.medCdEmpresa.SetFocus();
    };
    prepare_confirm();
    // The floor commits to a control of its own: a write to the screen's control between its read
    // and its Confirm would be another clerk's store, which the Confirm rightly refuses.
    const std::string control = "CTRLF";
    std::string stored = "2025-01-06 00:00:00";
    const SideBySide confirm = TimeSideBySide(
        iterations,
        {[&] { Cli_Vor17000::frmDataEmissao->UserClick(Cli_Vor17000::frmDataEmissao->sbtConfirma); }, prepare_confirm},
        {[&] {
             queries.Registrations();
             CallNothing(ping_connection);
             CallNothing(ping_connection);
             CallNothing(ping_connection);
             queries.SeriesAndLatest();
             soci::transaction transaction(module.Session());
             module.Session() << "UPDATE CTRLNUMENF SET DTEMISCTNUNF = :d WHERE CDCTRLNUMENF = :c", soci::use(stored),
                 soci::use(control);
             transaction.commit();
         },
         [&] { stored = ++round % 2 == 0 ? "2025-01-04 00:00:00" : "2025-01-05 00:00:00"; }});
    close_screen();
    if (!host.last_exception.empty()) rows.push_back({"(error) " + host.last_exception, database.name, "", "", ""});
    rows.push_back({"whole Confirm (GetMaxData + UpdateCtrlNumNF)", database.name, Micros(confirm.figure.Median()),
                    Micros(confirm.floor.Median()), Ratio(confirm.figure.Median(), confirm.floor.Median())});
    Finalize();
}

}  // namespace bench

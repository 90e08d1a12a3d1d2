// The desktop host under Qt's offscreen platform: the screen in real widgets, driven by
// keys and clicks, over the real module, server and database.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "Cli_Vor17000.h"
#include "dataset_table.h"
#include "form_view.h"
#include "frmDataEmissao.h"
#include "lookup_dialog.h"
#include "main_window.h"
#include "support/backends.h"
#include "support/desktop_fixture.h"

using namespace host::desktop;

namespace {

using testing_support::DesktopHost;

TEST_F(DesktopHost, TheMenuOpensTheScreenInAFixedChildWindow) {
    OpenScreen();
    QMdiSubWindow* sub = window->WindowOf(*Cli_Vor17000::frmDataEmissao);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->windowTitle(), "Alterar Data de Emissão");
    EXPECT_EQ(sub->minimumSize(), sub->maximumSize());  // not resizable
    EXPECT_FALSE(sub->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(Focused(), "medCdEmpresa");
    EXPECT_FALSE(Edit("edtCdLocal")->isEnabled());
    EXPECT_EQ(Edit("medCdEmpresa")->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xE1));
}

TEST_F(DesktopHost, TypingACompanyAndTabShowsItsName) {
    OpenScreen();
    TypeInto("medCdEmpresa", "1");
    Tab();
    EXPECT_EQ(Edit("medCdEmpresa")->text(), "01");
    EXPECT_EQ(Edit("edtNmEmpresa")->text(), "Comercial Aurora Ltda");
    EXPECT_EQ(Focused(), "medInscEstad");
    EXPECT_EQ(ModelFocus(), "medInscEstad");
}

TEST_F(DesktopHost, MasksAndUpperCaseHoldInTheWidgets) {
    OpenScreen();
    TypeInto("medCdEmpresa", "a0b1c9");
    EXPECT_EQ(Edit("medCdEmpresa")->text(), "01");
    TypeInto("medInscEstad", "isento");
    EXPECT_EQ(Edit("medInscEstad")->text(), "ISENTO");
}

TEST_F(DesktopHost, AFailedValidationKeepsTheFocusThroughTheMessageBox) {
    OpenScreen();
    TypeInto("medCdEmpresa", "77");
    Tab();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0], "Empresa não cadastrada.");
    EXPECT_EQ(Focused(), "medCdEmpresa");
    EXPECT_EQ(ModelFocus(), "medCdEmpresa");
}

TEST_F(DesktopHost, ADialogTakingTheFocusRunsNoExitHandler) {
    OpenScreen();
    TypeInto("medCdEmpresa", "77");  // would be refused on leaving the field
    window->Services().ShowAlert("Aviso qualquer", hostlib::TMsgDlgType::mtInformation, {"OK"}, 0);
    Settle();
    EXPECT_EQ(answers.seen, (std::vector<QString>{"Aviso qualquer"}));
    EXPECT_EQ(ModelFocus(), "medCdEmpresa");
}

TEST_F(DesktopHost, PickingFromTheLookupListWritesTheChoice) {
    OpenScreen();
    answers.pick = 1;
    QTest::mouseClick(Button("btpEmpresa"), Qt::LeftButton);
    Settle();
    EXPECT_EQ(answers.seen, (std::vector<QString>{"lista: Empresa"}));
    EXPECT_EQ(Edit("medCdEmpresa")->text(), "02");
    EXPECT_EQ(Edit("edtNmEmpresa")->text(), "Distribuidora Boa Vista S.A.");
    EXPECT_EQ(Focused(), "medCdEmpresa");
}

TEST_F(DesktopHost, TheLookupListFiltersByTyping) {
    hostlib::LookupList list{"Empresa", {"Código", "Nome"}, {{"01", "Aurora"}, {"02", "Boa Vista"}, {"03", "Outra"}}};
    LookupDialog dialog(list);
    dialog.Filter("boa");
    dialog.ChooseVisibleRow(0);
    EXPECT_EQ(dialog.Choice(), 1u);
}

TEST_F(DesktopHost, AWholeConfirmThroughTheWidgetsStoresTheDate) {
    OpenScreen();
    FillUpToTheSeries("1");
    ASSERT_EQ(Focused(), "depProxDtEmiss");
    EXPECT_EQ(Edit("depDtUltEmiss")->text(), "31/12/2023");
    EXPECT_EQ(Edit("medProxDiaSem")->text(), "Segunda-feira");
    Edit("depProxDtEmiss")->selectAll();
    QTest::keyClick(Edit("depProxDtEmiss"), Qt::Key_Backspace);
    QTest::keyClicks(Edit("depProxDtEmiss"), "05012024");
    QTest::mouseClick(view->findChild<QToolButton*>("sbtConfirma"), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(answers.seen.empty()) << answers.seen.front().toStdString();
    EXPECT_EQ(database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL01'"),
              "2024-01-05 00:00:00");
    EXPECT_FALSE(Cli_Vor17000::boIdCriado);
    EXPECT_EQ(window->Cache().RowCount("CTRLNUMENF"), 11u);
}

TEST_F(DesktopHost, TheProposedDayConfirmsAndShowsInTheHistoryAndTheDriftReportOpens) {
    OpenScreen();
    // Series 3: no last date, latest invoice 15/05/2024 14:30; the day it proposes confirms.
    FillUpToTheSeries("3");
    ASSERT_EQ(Edit("depProxDtEmiss")->text(), "15/05/2024");
    QTest::mouseClick(view->findChild<QToolButton*>("sbtConfirma"), Qt::LeftButton);
    Settle();
    ASSERT_TRUE(answers.seen.empty()) << answers.seen.front().toStdString();
    EXPECT_FALSE(Cli_Vor17000::boIdCriado);
    const auto cell = [](const QTableWidget* table, int row, const char* field) {
        const int column = ColumnOfField(*table, field);
        return column < 0 || table->item(row, column) == nullptr ? QString("(sem coluna)")
                                                                 : table->item(row, column)->text();
    };

    window->findChild<QAction*>("actionHistoricoDatas")->trigger();
    Settle();
    const auto* history = window->findChild<QTableWidget*>("tblHistorico");
    ASSERT_NE(history, nullptr);
    ASSERT_EQ(history->rowCount(), 1);
    EXPECT_EQ(cell(history, 0, "NMUSUARIO"), "Ana Souza");
    EXPECT_EQ(cell(history, 0, "DTNOVA"), "15/05/2024 00:00:00");
    EXPECT_EQ(cell(history, 0, "DSDTANTERIOR"), "");  // shown, empty: the old date was read

    window->findChild<QAction*>("actionConferenciaDatas")->trigger();
    Settle();
    const auto* drift = window->findChild<QTableWidget*>("tblDivergencias");
    ASSERT_NE(drift, nullptr);
    int lagging = -1;
    for (int r = 0; r < drift->rowCount(); ++r) {
        if (cell(drift, r, "CDCTRLNUMENF") == "CTRL09") lagging = r;
    }
    ASSERT_GE(lagging, 0);
    EXPECT_EQ(cell(drift, lagging, "DSSITUACAO"), "atrasado");
    EXPECT_TRUE(drift->item(lagging, 0)->font().bold());
    EXPECT_TRUE(answers.seen.empty()) << answers.seen.front().toStdString();
}

TEST_F(DesktopHost, AServerOutOfReachForTheReportsIsOneMessagePerRequest) {
    window->Session().Application().Values().WebPort = 1;  // nothing listens there
    window->findChild<QAction*>("actionConferenciaDatas")->trigger();
    Settle();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_TRUE(answers.seen[0].startsWith("Não foi possível conectar")) << answers.seen[0].toStdString();
    EXPECT_EQ(window->findChild<QTableWidget*>("tblDivergencias")->rowCount(), 0);

    // Enter in the history's code field asks once (the default button), so one message.
    window->findChild<QAction*>("actionHistoricoDatas")->trigger();
    Settle();
    auto* code = window->findChild<QLineEdit*>("edtCodigo");
    ASSERT_NE(code, nullptr);
    const auto before = answers.seen.size();
    QTest::keyClick(code, Qt::Key_Return);
    Settle();
    EXPECT_EQ(answers.seen.size(), before + 1);
}

TEST_F(DesktopHost, AChangeByTheProgramShowsInTheWidget) {
    OpenScreen();
    FillUpToTheSeries("1");
    ASSERT_EQ(Edit("depProxDtEmiss")->text(), "01/01/2024");
    // A keystroke in the series clears both dates: the widgets follow.
    TypeInto("edtCdSerie", "2");
    EXPECT_EQ(Edit("depProxDtEmiss")->text(), "");
    EXPECT_EQ(Edit("depDtUltEmiss")->text(), "");
    EXPECT_EQ(Edit("medDiaSem")->text(), "");
}

TEST_F(DesktopHost, CallerModeFromTheInvoiceForm) {
    window->OpenInvoiceForm();
    Settle();
    FormView* invoice = window->ViewOf(window->InvoiceForm());
    ASSERT_NE(invoice, nullptr);
    QTest::mouseClick(invoice->findChild<QToolButton*>("btnAlterarData"), Qt::LeftButton);
    Settle();
    ASSERT_TRUE(Cli_Vor17000::boIdCriado);
    EXPECT_TRUE(Cli_Vor17000::boDataEmis);
    view = window->ViewOf(*Cli_Vor17000::frmDataEmissao);
    FillUpToTheSeries("5");  // processing date: handed back, not stored
    ASSERT_EQ(Edit("depProxDtEmiss")->text(), "11/01/2024");
    QTest::mouseClick(view->findChild<QToolButton*>("sbtConfirma"), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(answers.seen.empty()) << answers.seen.front().toStdString();
    EXPECT_EQ(window->InvoiceForm().Find<hostlib::TLabel>("lblDtEmissao")->Caption(), "11/01/2024");
    EXPECT_EQ(database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL05'"),
              "2024-01-10 00:00:00");
}

TEST_F(DesktopHost, F1OpensTheScreensHelp) {
    OpenScreen();
    QTest::keyClick(Edit("medCdEmpresa"), Qt::Key_F1);
    Settle();
    EXPECT_EQ(answers.seen, (std::vector<QString>{"diálogo: Ajuda"}));
}

TEST_F(DesktopHost, TheWaitAnimationIsAVisibleOverlayWithItsCaption) {
    OpenScreen();
    window->Services().ShowBusy(Cli_Vor17000::frmDataEmissao, hostlib::TShowAvi::Verificando,
                                "Verificando notas fiscais...");
    EXPECT_EQ(window->Services().BusyCaption(), "Verificando notas fiscais...");
    auto* overlay = view->findChild<QWidget*>("BusyOverlay");
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(overlay->isVisible());
    window->Services().HideBusy();
    EXPECT_EQ(window->Services().BusyCaption(), "");
}

TEST_F(DesktopHost, ClosingTheWindowClosesTheScreen) {
    OpenScreen();
    window->WindowOf(*Cli_Vor17000::frmDataEmissao)->close();
    Settle();
    EXPECT_FALSE(Cli_Vor17000::boIdCriado);
    EXPECT_EQ(window->MdiArea()->subWindowList().size(), 0);
}

}  // namespace

int main(int argc, char** argv) {
    // No display: Qt draws offscreen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and the demo database go to a folder of the test's own, never the user's.
    const auto config = std::filesystem::temp_directory_path() / ("vor17000_qt_" + std::to_string(::getpid()));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.string()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((config / "data").string()));
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(config);
    return result;
}

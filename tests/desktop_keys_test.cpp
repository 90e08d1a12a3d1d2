// The clerk's keys in the desktop window: editing at the caret, the clipboard, Confirm from the
// keyboard, closing and coming back, as real key and mouse events through the widgets.
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSet>
#include <QStyle>
#include <QStyleOptionTitleBar>

#include "support/desktop_fixture.h"

namespace {

using testing_support::DesktopHost;
using testing_support::HostSettings;

class DesktopKeys : public DesktopHost {
protected:
    // The demo's company and registrations are the host's: the screen opens on the series.
    DesktopKeys() : DesktopHost(WithCompany()) {}
    static HostSettings WithCompany() {
        HostSettings settings = TestSettings();
        settings.company = "01";
        settings.state_registration = "110042490114";
        settings.municipal_registration = "4587123";
        return settings;
    }
    static QWidget* FocusWidget() { return QApplication::focusWidget(); }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(FocusWidget(), static_cast<Qt::Key>(key), modifiers);
        Settle();
    }
    void Type(const QString& text) {
        QTest::keyClicks(FocusWidget(), text);
        Settle();
    }
    hostlib::TCustomEdit& Model(const char* name) const {
        return *Cli_Vor17000::frmDataEmissao->Find<hostlib::TCustomEdit>(name);
    }
    std::optional<std::string> Stored(const char* control) {
        return database.QueryText(std::string("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '") + control +
                                  "'");
    }
    QMdiSubWindow* Sub() const { return window->WindowOf(*Cli_Vor17000::frmDataEmissao); }
};

TEST_F(DesktopKeys, TheMainTaskTakesOnlyKeys) {
    OpenScreen();
    ASSERT_EQ(Focused(), "edtCdSerie");
    Type("1");
    Key(Qt::Key_Tab);
    ASSERT_EQ(Focused(), "depProxDtEmiss");
    EXPECT_EQ(Edit("depProxDtEmiss")->selectedText(), "01/01/2024");  // the proposal, all selected
    Type("02012024");
    EXPECT_EQ(Edit("depProxDtEmiss")->text(), "02/01/2024");
    EXPECT_EQ(Edit("medProxDiaSem")->text(), "Terça-feira");
    Key(Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(answers.seen.empty()) << answers.seen.front().toStdString();
    EXPECT_EQ(Stored("CTRL01"), "2024-01-02 00:00:00");
    EXPECT_FALSE(Cli_Vor17000::boIdCriado);
    // Where the eye is, for a while: what was stored where.
    EXPECT_TRUE(window->StatusMessage().startsWith("Data de emissão 02/01/2024 gravada no controle CTRL01."))
        << window->StatusMessage().toStdString();
}

TEST_F(DesktopKeys, ConfirmKeysRunConfirmWhereTheFocusIsAndTypeNothing) {
    OpenScreen();
    auto& screen = *Cli_Vor17000::frmDataEmissao;
    std::vector<std::string> focus_at_confirm;
    screen.sbtConfirma.OnClick = [&](hostlib::TObject&) {
        focus_at_confirm.push_back(screen.ActiveControl()->Name());
    };
    Type("M");
    Key(Qt::Key_C, Qt::AltModifier);
    Key(Qt::Key_Return, Qt::ControlModifier);
    Key(Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(focus_at_confirm, (std::vector<std::string>(3, "edtCdSerie")));
    EXPECT_EQ(Edit("edtCdSerie")->text(), "M");
    EXPECT_EQ(Model("edtCdSerie").Text(), "M");
    const QString tip = Button("sbtConfirma")->toolTip();
    EXPECT_TRUE(tip.contains("Alt+C") && tip.contains("Ctrl+Return")) << tip.toStdString();
    EXPECT_EQ(Button("sbtConfirma")->text(), "&Confirmar");
    EXPECT_EQ(screen.sbtConfirma.Caption(), "Confirmar");
    // Escape stays the screen's: swallowed, the text kept, the screen open.
    Key(Qt::Key_Escape);
    EXPECT_EQ(Edit("edtCdSerie")->text(), "M");
    EXPECT_TRUE(Cli_Vor17000::boIdCriado);
}

TEST_F(DesktopKeys, EditingKeysWorkAtTheCaretAndShowTheModelsSelection) {
    OpenScreen();
    Type("12");
    Key(Qt::Key_Home);
    Type("3");
    EXPECT_EQ(Edit("edtCdSerie")->text(), "312");
    Key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(Edit("edtCdSerie")->selectedText(), "12");
    EXPECT_EQ(Model("edtCdSerie").SelText(), "12");
    Key(Qt::Key_Delete);
    EXPECT_EQ(Edit("edtCdSerie")->text(), "3");
    Key(Qt::Key_Left);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Edit("edtCdSerie")->text(), "");
    Type("ab");
    Key(Qt::Key_Left, Qt::ShiftModifier);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Edit("edtCdSerie")->text(), "A");
    EXPECT_EQ(Model("edtCdSerie").CaretPosition(), 1u);
}

TEST_F(DesktopKeys, TheClipboardGoesThroughTheModel) {
    OpenScreen();
    Type("1");
    Key(Qt::Key_Tab);
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "01/01/2024");
    QApplication::clipboard()->setText("15/03/2024");
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Edit("depProxDtEmiss")->text(), "15/03/2024");
    EXPECT_EQ(Edit("medProxDiaSem")->text(), "Sexta-feira");
    // Cut in the series: one change, which empties the dates below it.
    QTest::mouseClick(Edit("edtCdSerie"), Qt::LeftButton);
    Settle();
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "1");
    EXPECT_EQ(Edit("edtCdSerie")->text(), "");
    EXPECT_EQ(Edit("depProxDtEmiss")->text(), "");
}

TEST_F(DesktopKeys, AMouseSelectionReachesTheModelWithoutAChange) {
    OpenScreen();
    Type("12");
    int changes = 0;
    Model("edtCdSerie").OnChange = [&](hostlib::TObject&) { ++changes; };
    QTest::mouseDClick(Edit("edtCdSerie"), Qt::LeftButton);
    Settle();
    EXPECT_EQ(Model("edtCdSerie").SelText(), "12");
    EXPECT_EQ(changes, 0);
    Type("7");  // a selection made with the mouse is typed over like any other
    EXPECT_EQ(Edit("edtCdSerie")->text(), "7");
    EXPECT_EQ(changes, 1);
}

TEST_F(DesktopKeys, CtrlF4AndTheCloseButtonCloseTheScreen) {
    OpenScreen();
    Key(Qt::Key_F4, Qt::ControlModifier);
    EXPECT_FALSE(Cli_Vor17000::boIdCriado);
    EXPECT_EQ(window->MdiArea()->subWindowList().size(), 0);

    OpenScreen();
    QMdiSubWindow* sub = Sub();
    QStyleOptionTitleBar title;
    title.initFrom(sub);
    title.titleBarFlags = sub->windowFlags();
    title.titleBarState = sub->windowState();
    title.subControls = QStyle::SC_All;
    // The title bar as the window lays it out: the style's height and its border.
    title.rect = QRect(0, 0, sub->width(), sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &title, sub) + 4);
    const QRect close = sub->style()->subControlRect(QStyle::CC_TitleBar, &title, QStyle::SC_TitleBarCloseButton, sub);
    ASSERT_TRUE(close.isValid());
    QTest::mouseMove(sub, close.center());  // the window presses the button the mouse is over
    Settle();
    QTest::mouseClick(sub, Qt::LeftButton, Qt::NoModifier, close.center());
    Settle();
    EXPECT_FALSE(Cli_Vor17000::boIdCriado);
    EXPECT_EQ(window->MdiArea()->subWindowList().size(), 0);
}

TEST_F(DesktopKeys, CtrlF4BelongsToOneActionOfTheScreensWindow) {
    // Two actions on one key would make it ambiguous, and neither would close the screen.
    OpenScreen();
    QMdiSubWindow* sub = Sub();
    QSet<QAction*> holders;
    for (QAction* action : sub->systemMenu()->actions() + sub->actions()) {
        if (action->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_F4))) holders.insert(action);
    }
    EXPECT_EQ(holders.size(), 1);
}

TEST_F(DesktopKeys, CtrlDBringsBackAMinimisedScreen) {
    OpenScreen();
    Type("7");
    Sub()->showMinimized();
    Settle();
    EXPECT_EQ(Cli_Vor17000::frmDataEmissao->WindowState(), hostlib::TWindowState::wsMinimized);
    // The key arrives where the focus was left: the minimised screen's field.
    QTest::keyClick(Edit("edtCdSerie"), Qt::Key_D, Qt::ControlModifier);
    Settle();
    EXPECT_FALSE(Sub()->isMinimized());
    EXPECT_EQ(window->MdiArea()->activeSubWindow(), Sub());
    EXPECT_EQ(Cli_Vor17000::frmDataEmissao->WindowState(), hostlib::TWindowState::wsNormal);
    EXPECT_EQ(Edit("edtCdSerie")->text(), "7");  // the same screen, as it was left
}

}  // namespace

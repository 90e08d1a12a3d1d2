#pragma once
// The desktop host under Qt's offscreen platform, on a demo database of the test's own: the
// main window, and an answerer for whatever modal dialog comes up.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <optional>
#include <vector>

#include "Cli_Vor17000.h"
#include "form_view.h"
#include "frmDataEmissao.h"
#include "lookup_dialog.h"
#include "main_window.h"
#include "support/backends.h"

namespace testing_support {

using host::desktop::FormView;
using host::desktop::HostSettings;
using host::desktop::LookupDialog;
using host::desktop::MainWindow;

// Answers whatever modal dialog comes up, as the test says, and notes what it showed.
class ModalAnswerer : public QObject {
public:
    ModalAnswerer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
        timer_.start();
    }
    std::vector<QString> seen;
    std::optional<int> pick;  // the row to choose in the next list; nothing cancels

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.push_back(box->text());
            // The box's own answer: its escape button, not "Mostrar Detalhes...".
            QAbstractButton* answer = box->escapeButton() != nullptr ? box->escapeButton() : box->buttons().front();
            answer->click();
        } else if (auto* list = qobject_cast<LookupDialog*>(modal)) {
            seen.push_back("lista: " + list->windowTitle());
            if (pick) {
                list->ChooseVisibleRow(*pick);
            } else {
                list->reject();
            }
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            seen.push_back("diálogo: " + dialog->windowTitle());
            dialog->reject();
        }
    }
    QTimer timer_;
};

class DesktopHost : public ::testing::Test {
protected:
    // Branch 1 processing 10/12/2024, no current company: the screen opens empty.
    static HostSettings TestSettings() {
        HostSettings settings;
        settings.branch = "1";
        settings.processing_date = "10/12/2024";
        settings.user = "Ana Souza";
        return settings;
    }
    explicit DesktopHost(HostSettings settings = TestSettings()) : database(testing_support::Backend::SQLite) {
        database.LoadDemo();
        host::HostOptions options;
        options.database_url = database.Url();
        window = std::make_unique<MainWindow>(options, settings);
        window->show();
        QApplication::setActiveWindow(window.get());
        QApplication::processEvents();
    }
    ~DesktopHost() override {
        window.reset();
        QApplication::processEvents();
    }

    void OpenScreen() {
        window->findChild<QAction*>("actionAlterarDataEmissao")->trigger();
        Settle();
        view = window->ViewOf(*Cli_Vor17000::frmDataEmissao);
        ASSERT_NE(view, nullptr);
    }
    QLineEdit* Edit(const char* name) const { return view->findChild<QLineEdit*>(name); }
    QToolButton* Button(const char* name) const { return view->findChild<QToolButton*>(name); }
    void Settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }
    // Clicks into the field, empties it and types, as a user would.
    void TypeInto(const char* name, const QString& text) {
        QLineEdit* edit = Edit(name);
        QTest::mouseClick(edit, Qt::LeftButton);
        Settle();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        Settle();
    }
    void Tab() {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        Settle();
    }
    // Company 01, its registrations and `series`, each typed and left with Tab.
    void FillUpToTheSeries(const QString& series) {
        TypeInto("medCdEmpresa", "01");
        Tab();
        QTest::keyClicks(Edit("medInscEstad"), "110042490114");
        Tab();
        QTest::keyClicks(Edit("medInscMuni"), "4587123");
        Tab();
        QTest::keyClicks(Edit("edtCdSerie"), series);
        Tab();
    }
    // The window's focused widget: after a dialog closes, an offscreen window may stay
    // inactive, with the focus kept for when it comes back.
    QString Focused() const {
        QWidget* focus = window->focusWidget();
        return focus != nullptr ? focus->objectName() : QString("(none)");
    }
    std::string ModelFocus() const {
        auto* active = Cli_Vor17000::frmDataEmissao->ActiveControl();
        return active != nullptr ? active->Name() : "(none)";
    }

    testing_support::TestDatabase database;
    std::unique_ptr<MainWindow> window;
    FormView* view = nullptr;
    ModalAnswerer answers;
};

}  // namespace testing_support

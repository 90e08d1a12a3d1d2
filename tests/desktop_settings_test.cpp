// The desktop's settings and start: a saved value never locks the clerk out, the command line
// wins for its run, a missing database file is refused, failures read as Portuguese sentences.
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <filesystem>
#include <fstream>

#include "host_session.h"
#include "settings_dialog.h"
#include "support/desktop_fixture.h"

namespace {

namespace fs = std::filesystem;
using host::HostStartError;
using host::HostStartStep;
using host::desktop::kSettingsApplication;
using host::desktop::kSettingsOrganization;
using testing_support::HostSettings;
using testing_support::MainWindow;
using testing_support::ModalAnswerer;

class DesktopSettings : public ::testing::Test {
protected:
    DesktopSettings() : folder(fs::temp_directory_path() / ("vor17000_settings_" + std::to_string(::getpid()))) {
        fs::create_directories(folder);
        QSettings(kSettingsOrganization, kSettingsApplication).clear();
    }
    ~DesktopSettings() override {
        QSettings(kSettingsOrganization, kSettingsApplication).clear();
        fs::remove_all(folder);
    }
    std::string File(const std::string& name, const std::string& text) const {
        const fs::path path = folder / name;
        std::ofstream(path) << text;
        return path.string();
    }
    static void Settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }

    fs::path folder;
    ModalAnswerer answers;
};

TEST_F(DesktopSettings, ABadSavedValueStartsWithItsDefaultAndSaysSoOnce) {
    {
        QSettings store(kSettingsOrganization, kSettingsApplication);
        store.setValue("servidor", "embedded31/02/2024");
        store.setValue("dataProcessamento", "31/02/2024");
        store.setValue("arquivoSegredo", (folder / "nao-existe.token").string().c_str());
        store.setValue("filial", "7");
    }
    QStringList problems;
    const HostSettings settings = HostSettings::Load(true, problems);
    EXPECT_EQ(settings.server, "embedded");
    EXPECT_EQ(settings.processing_date, "");
    EXPECT_EQ(settings.token_file, "");
    EXPECT_EQ(settings.branch, "7");  // the good values stay
    ASSERT_EQ(problems.size(), 3);
    EXPECT_TRUE(problems[1].contains("Servidor de aplicação") && problems[1].contains("embedded31/02/2024"))
        << problems[1].toStdString();

    MainWindow window(host::HostOptions{}, settings, problems);
    EXPECT_TRUE(window.Session().ServerDescription().starts_with("embutido"));
    window.ReportStartProblems();
    window.ReportStartProblems();  // once
    Settle();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_TRUE(answers.seen[0].contains("embedded31/02/2024")) << answers.seen[0].toStdString();
}

TEST_F(DesktopSettings, TheCommandLineWinsOverSavedSettingsForItsRun) {
    HostSettings saved;
    saved.server = "127.0.0.1:1";
    saved.tls_ca_file = QString::fromStdString(File("ca.pem", "certificados"));
    const auto explicit_embedded = host::ParseHostOptions({"--server", "embedded"});
    ASSERT_TRUE(explicit_embedded.options);
    EXPECT_EQ(saved.Merged(*explicit_embedded.options).server, "embedded");
    const auto nothing_given = host::ParseHostOptions({});
    ASSERT_TRUE(nothing_given.options);
    const host::HostOptions merged = saved.Merged(*nothing_given.options);
    EXPECT_EQ(merged.server, "127.0.0.1:1");
    EXPECT_EQ(merged.tls_ca_file, saved.tls_ca_file.toStdString());
    // A desk's token file from the settings gives its one secret.
    saved.token_file = QString::fromStdString(File("desk.token", "caixa1 segredo-da-caixa\n"));
    EXPECT_EQ(saved.Merged(*nothing_given.options).token, "segredo-da-caixa");
}

TEST_F(DesktopSettings, AMissingDatabaseFileIsRefusedAndNotCreated) {
    const fs::path typo = folder / "typo.db";
    host::HostOptions options;
    options.database_url = "sqlite:" + typo.string();
    options.given.database = true;
    try {
        MainWindow window(options, HostSettings{});
        FAIL() << "a missing database file was opened";
    } catch (const HostStartError& e) {
        EXPECT_EQ(e.Step(), HostStartStep::Database);
        EXPECT_TRUE(std::string(e.what()).find("não existe") != std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(typo));
}

TEST_F(DesktopSettings, AnUnreachableDatabaseReadsAsASentenceWithTheDriversTextInTheDetails) {
    host::HostOptions options;
    options.database_url = "postgresql://ninguem@127.0.0.1:1/nada?connect_timeout=2";
    options.given.database = true;
    try {
        MainWindow window(options, HostSettings{});
        FAIL() << "an unreachable database was opened";
    } catch (const HostStartError& e) {
        const std::string text = e.what();
        EXPECT_TRUE(text.starts_with("Não foi possível abrir o banco de dados")) << text;
        EXPECT_EQ(text.find("onnection"), std::string::npos) << text;  // no driver English in the sentence
        EXPECT_FALSE(e.Details().empty());
    }
}

TEST_F(DesktopSettings, ASavedDatabaseThatDoesNotOpenGivesWayToTheDemoDatabase) {
    HostSettings saved;
    saved.database = "postgresql://ninguem@127.0.0.1:1/nada?connect_timeout=2";
    MainWindow window(host::HostOptions{}, saved);
    EXPECT_TRUE(window.Session().DatabaseUrl().ends_with("demo.db")) << window.Session().DatabaseUrl();
    window.ReportStartProblems();
    Settle();
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_TRUE(answers.seen[0].contains("banco de demonstração")) << answers.seen[0].toStdString();
}

TEST_F(DesktopSettings, TheDialogSaysWhatIsWrongAtTheFieldAndHoldsOkUntilItIsRight) {
    host::desktop::SettingsDialog dialog(HostSettings{});
    auto* server = dialog.findChild<QLineEdit*>("servidor");
    auto* server_error = dialog.findChild<QLabel*>("servidorErro");
    QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    ASSERT_NE(server, nullptr);
    ASSERT_NE(server_error, nullptr);
    EXPECT_TRUE(ok->isEnabled());
    const std::vector<std::pair<const char*, std::string>> bad = {
        {"servidor", "embedded31/02/2024"},
        {"banco", "sqlite:" + (folder / "typo.db").string()},
        {"dataProcessamento", "31/02/2024"},
        {"arquivoSegredo", File("two.token", "a um\nb dois\n")},
        {"arquivoCertificados", (folder / "nao-existe.pem").string()},
    };
    for (const auto& [name, value] : bad) {
        auto* field = dialog.findChild<QLineEdit*>(name);
        ASSERT_NE(field, nullptr) << name;
        field->setText(QString::fromStdString(value));
        EXPECT_FALSE(dialog.findChild<QLabel*>(QString(name) + "Erro")->text().isEmpty()) << name;
        EXPECT_FALSE(ok->isEnabled()) << name;
        field->clear();
        EXPECT_TRUE(ok->isEnabled()) << name;
    }
    server->setText("servidor.local:8217");
    dialog.findChild<QLineEdit*>("arquivoSegredo")->setText(QString::fromStdString(File("one.token", "caixa1 s\n")));
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(dialog.Settings().server, "servidor.local:8217");
}

}  // namespace

// Forms in the application: creation, activation, close and free, form handles.
#include <gtest/gtest.h>

#include "hostlib/application.h"
#include "core/exceptions.h"
#include "hostlib/services.h"
#include "support/recording_host.h"

using namespace hostlib;

namespace {

class FormEvents : public ::testing::Test {
protected:
    FormEvents() : application(host) {}
    testing_support::RecordingHost host;
    TApplication application;
};

// A form whose creation handler is given by the test, seen through a reference it keeps.
class ProbeForm : public TForm {
public:
    ProbeForm(TComponent* owner, std::function<void(ProbeForm&)> on_create) : TForm(owner, "frmProbe") {
        OnCreate = [this, on_create](TObject&) { on_create(*this); };
    }
};

TEST_F(FormEvents, ReferenceIsSetBeforeTheCreationHandlerRuns) {
    ProbeForm* reference = nullptr;
    ProbeForm* seen = nullptr;
    application.CreateForm(reference, [&](ProbeForm&) { seen = reference; });
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(seen, reference);
}

TEST_F(FormEvents, CreationErrorsAreShownAndTheFormStillStands) {
    ProbeForm* failing = nullptr;
    application.CreateForm(failing, [](ProbeForm&) { throw Exception("sem conexão"); });
    ASSERT_NE(failing, nullptr);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].type, "exception");
    EXPECT_EQ(host.events[0].text, "sem conexão");

    ProbeForm* aborted = nullptr;
    application.CreateForm(aborted, [](ProbeForm&) { throw EAbort(); });
    EXPECT_NE(aborted, nullptr);
    EXPECT_EQ(host.events.size(), 1u);  // an abort is silent
    EXPECT_EQ(application.Forms().size(), 2u);
}

TEST_F(FormEvents, ActivationRunsOnceUntilAnotherWindowWasActive) {
    TForm* form = nullptr;
    application.CreateForm(form, "frmA");
    int activations = 0;
    form->OnActivate = [&](TObject&) { ++activations; };
    form->Show();
    form->Show();
    EXPECT_EQ(activations, 1);
    application.DeactivateAll();
    form->BringToFront();
    EXPECT_EQ(activations, 2);
}

TEST_F(FormEvents, CloseWithFreeReleasesAfterTheEvent) {
    TForm* form = nullptr;
    application.CreateForm(form, "frmA");
    form->OnClose = [](TObject&, TCloseAction& action) { action = TCloseAction::caFree; };
    const FormHandle handle = application.HandleOf(*form);
    form->Show();
    form->Close();
    // Still alive for the rest of the handler that closed it.
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(application.FormFromHandle(handle), form);
    EXPECT_EQ(host.Types(), (std::vector<std::string>{"closed"}));
    application.ProcessReleases();
    EXPECT_EQ(application.FormFromHandle(handle), nullptr);
    EXPECT_TRUE(application.Forms().empty());
}

TEST_F(FormEvents, CloseActionsOtherThanFree) {
    TForm* form = nullptr;
    application.CreateForm(form, "frmA");
    TCloseAction chosen = TCloseAction::caNone;
    form->OnClose = [&](TObject&, TCloseAction& action) { action = chosen; };
    form->Show();
    form->Close();
    EXPECT_TRUE(form->Visible());
    EXPECT_TRUE(host.events.empty());
    chosen = TCloseAction::caHide;
    form->Close();
    EXPECT_FALSE(form->Visible());
    application.ProcessReleases();
    EXPECT_EQ(application.Forms().size(), 1u);
}

TEST_F(FormEvents, MdiChildMinimisesByDefault) {
    TForm* form = nullptr;
    application.CreateForm(form, "frmChild");
    form->FormStyle = TFormStyle::fsMDIChild;
    form->Show();
    form->Close();
    EXPECT_EQ(form->WindowState(), TWindowState::wsMinimized);
    EXPECT_TRUE(form->Visible());
}

TEST_F(FormEvents, HandlesAreSmallUniqueAndNeverReused) {
    TForm* a = nullptr;
    TForm* b = nullptr;
    application.CreateForm(a, "frmA");
    application.CreateForm(b, "frmB");
    const FormHandle ha = application.HandleOf(*a);
    const FormHandle hb = application.HandleOf(*b);
    EXPECT_NE(ha, 0u);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(application.FormFromHandle(hb), b);
    EXPECT_EQ(application.FormFromHandle(0), nullptr);
    EXPECT_EQ(application.FormFromHandle(0xDEADBEEF), nullptr);
    a->OnClose = [](TObject&, TCloseAction& action) { action = TCloseAction::caFree; };
    a->Close();
    application.ProcessReleases();
    TForm* c = nullptr;
    application.CreateForm(c, "frmC");
    EXPECT_NE(application.HandleOf(*c), ha);
    EXPECT_EQ(application.FormFromHandle(ha), nullptr);
}

TEST_F(FormEvents, ErrorsOutOfActivationGoToTheErrorDisplay) {
    TForm* form = nullptr;
    application.CreateForm(form, "frmA");
    form->OnActivate = [](TObject&) { throw Exception("falhou"); };
    EXPECT_NO_THROW(form->Show());
    EXPECT_EQ(host.Types(), (std::vector<std::string>{"exception"}));
}

}  // namespace

// A COM client's view of the module: creation, connection, version, the
// Create methods and reference counting, against the simulated box. The
// same source runs natively against libKobLabVIEW.so and under Wine against
// KobLabVIEW.dll.
#include <gtest/gtest.h>

#include "client/fixture.h"

namespace {

using client::kBoxLine;

const std::string kBoxIdentity = "KX7710-3B2 Vers.  105 KOBALTIX Interface";

std::string Version(IKobaltix* kob) {
    BSTR text = nullptr;
    EXPECT_EQ(kob->Version(&text), S_OK);
    std::string v = client::Narrow(text);
    SysFreeString(text);
    return v;
}

class ModuleTest : public client::ClientTest {
protected:
    ModuleTest() : ClientTest({}, false) {}
    // Without a box the Create methods fail and clear what they were given.
    void ExpectUnconnected() {
        IScope* scope = reinterpret_cast<IScope*>(&host);
        EXPECT_EQ(kob->CreateScope(&scope), E_FAIL);
        EXPECT_EQ(scope, nullptr);
        IMeter* meter = reinterpret_cast<IMeter*>(&host);
        EXPECT_EQ(kob->CreateMeter(&meter), E_FAIL);
        EXPECT_EQ(meter, nullptr);
        EXPECT_EQ(Version(kob), "");
    }
};

TEST_F(ModuleTest, CreateMethodsNeedAConnectionAndAnUnknownClassIsRefused) {
    ExpectUnconnected();
    EXPECT_EQ(kob->CreateRelays(nullptr), E_POINTER);
    EXPECT_EQ(kob->Version(nullptr), E_POINTER);
    EXPECT_TRUE(host.Messages().empty());

    void* object = &host;
    EXPECT_EQ(host.GetClassObject(IID_IKobaltix, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"DllGetClassObject failed"});

    // Connected, the box is identified; a second client object drives the
    // same box, already connected.
    EXPECT_EQ(kob->Connect(), S_OK);
    EXPECT_EQ(Version(kob), kBoxIdentity);
    IKobaltix* other = nullptr;
    ASSERT_EQ(host.Create(&other), S_OK);
    EXPECT_EQ(Version(other), kBoxIdentity);
    other->Release();
    EXPECT_TRUE(host.Dialogs().empty());
}

// On a missing line the connection dialog asks: "Exit Program" leaves the
// client unconnected, "Repeat Initialising" on the box's line connects.
TEST_F(ModuleTest, TheConnectionDialogExitsOrRepeatsOnAnotherLine) {
    const int missing = host.MissingLine();
    if (missing == 0) {
        GTEST_SKIP() << "no line the connection dialog lists is missing here";
    }
    host.SetProfile(missing);
    EXPECT_EQ(kob->Connect(), S_FALSE);
    ExpectUnconnected();
    auto dialogs = host.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    // The line could not be opened at all.
    EXPECT_EQ(dialogs[0].message,
              "The selected communication line cannot be initialized.\nEither it does not "
              "exist or it is in use by another Application.\n\nSelect an alternative "
              "communication line.");
    ASSERT_EQ(dialogs[0].lines.size(), 5u); // COM1-COM4 and USB
    EXPECT_EQ(dialogs[0].lines[kBoxLine - 1],
              "COM" + std::to_string(kBoxLine) + ": (Free, available for use)");
    EXPECT_EQ(dialogs[0].lines[static_cast<size_t>(missing - 1)],
              "COM" + std::to_string(missing) + ": (In use or does not exist)");
    EXPECT_EQ(dialogs[0].lines.back(), "USB Interface");

    host.AnswerDialog(4, kBoxLine - 1);
    EXPECT_EQ(kob->Connect(), S_OK);
    EXPECT_EQ(Version(kob), kBoxIdentity);
    // A later connection starts on the line chosen in the dialog.
    EXPECT_EQ(kob->Disconnect(), S_OK);
    EXPECT_EQ(kob->Connect(), S_OK);
    EXPECT_EQ(host.Dialogs().size(), 2u);
}

TEST_F(ModuleTest, ReferencesKeepTheModuleLoadedAndIdentityHolds) {
    EXPECT_EQ(host.CanUnloadNow(), S_FALSE);
    // One identity: IUnknown leads back to the same object.
    IUnknown* unknown = nullptr;
    IKobaltix* again = nullptr;
    ASSERT_EQ(kob->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_IKobaltix, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, kob);
    void* none = &host;
    EXPECT_EQ(kob->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(again->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(kob->Release(), 0u);
    kob = nullptr;
    EXPECT_EQ(host.CanUnloadNow(), S_OK);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        host.GetClassObject(CLSID_Kobaltix, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    EXPECT_EQ(host.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(host.CanUnloadNow(), S_OK);
    // A server object is not aggregated into a client's object.
    IKobaltix* aggregated = nullptr;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IKobaltix,
                                      reinterpret_cast<void**>(&aggregated)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(aggregated, nullptr);
    factory->Release();
}

} // namespace

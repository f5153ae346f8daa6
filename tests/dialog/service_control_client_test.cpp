// The dialog's service control client against a simulated service manager:
// the status line and button state for every state and failure, the texts
// of the manager's and the commands' errors byte for byte, the rule that an
// unreachable service is reported as code 6, and the handles each operation
// opens with its access right and closes again.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog/service_control_client.h"
#include "doubles/service_manager_double.h"

namespace {

// The expected texts are written here as readable UTF-8 and turned into
// Windows-1250 letter by letter, independently of the escapes the dialog's
// header uses: a wrong escape, or one that swallowed the next letter, shows.
std::string Cp1250(const std::string& utf8) {
  struct TLetter {
    const char* utf8;
    char cp1250;
  };
  static const TLetter kLetters[] = {
      {"\u010D", '\xE8'}, {"\u0107", '\xE6'}, {"\u0111", '\xF0'}, {"\u0161", '\x9A'}, {"\u017E", '\x9E'},
      {"\u010C", '\xC8'}, {"\u0106", '\xC6'}, {"\u0110", '\xD0'}, {"\u0160", '\x8A'}, {"\u017D", '\x8E'},
  };
  std::string bytes;
  for (std::size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      bytes += utf8[i++];
      continue;
    }
    bool known = false;
    for (const TLetter& letter : kLetters) {
      if (utf8.compare(i, 2, letter.utf8) == 0) {
        bytes += letter.cp1250;
        i += 2;
        known = true;
        break;
      }
    }
    if (!known) {
      ADD_FAILURE() << "no Windows-1250 letter for the text at " << i << " in: " << utf8;
      return bytes;
    }
  }
  return bytes;
}

constexpr std::uint32_t kAllAccess = 0xF01FF;
constexpr std::uint32_t kManagerAllAccess = 0xF003F;
constexpr std::uint32_t kQueryStatus = 0x0004;
constexpr std::uint32_t kUserDefinedControl = 0x0100;

class ServiceControlClient : public ::testing::Test {
 protected:
  TServiceControlClient& Client() {
    if (!FClient) {
      FClient = std::make_unique<TServiceControlClient>(system, [this](const std::string& text) { boxes.push_back(text); });
    }
    return *FClient;
  }

  // The client as the form has it once the manager is open.
  TServiceControlClient& Connected() {
    EXPECT_TRUE(Client().OpenServiceManager());
    return Client();
  }

  void DestroyClient() { FClient.reset(); }

  TServiceManagerDouble system;
  std::vector<std::string> boxes;

 private:
  std::unique_ptr<TServiceControlClient> FClient;
};

using TOperation = std::function<TServiceResult(TServiceControlClient&)>;

struct TOperationCase {
  const char* name;
  TOperation run;
  std::uint32_t access;
  // A state in which the operation succeeds.
  std::uint32_t readyState;
};

const TOperationCase kOperations[] = {
    {"StartServer", [](TServiceControlClient& c) { return c.StartServer(); }, kAllAccess, 1},
    {"PauseServer", [](TServiceControlClient& c) { return c.PauseServer(); }, kAllAccess, 4},
    {"ContinueServer", [](TServiceControlClient& c) { return c.ContinueServer(); }, kAllAccess, 7},
    {"StopServer", [](TServiceControlClient& c) { return c.StopServer(); }, kAllAccess, 4},
    {"NotifyServer", [](TServiceControlClient& c) { return c.NotifyServer(); }, kUserDefinedControl, 4},
    {"QueryServerStatus", [](TServiceControlClient& c) { return c.QueryServerStatus(); }, kQueryStatus, 4},
};

}  // namespace

// ---- The status line and the buttons ----

TEST_F(ServiceControlClient, EachStateOfTheServiceHasItsTextAndButtons) {
  struct TCase {
    std::uint32_t state;
    const char* text;
    TButtonState buttons;
  };
  const TCase cases[] = {
      {1, "Server nije pokrenut.", TButtonState::Stopped},
      {2, "Server se pokreće...", TButtonState::Pending},
      {3, "Server se zaustavlja...", TButtonState::Pending},
      {4, "Server je pokrenut.", TButtonState::Running},
      {5, "Server se nastavlja...", TButtonState::Pending},
      {6, "Server se pauzira...", TButtonState::Pending},
      {7, "Server je pauziran.", TButtonState::Paused},
      {0, "[ Stanje servera je nepoznato ]", TButtonState::Pending},
      {8, "[ Stanje servera je nepoznato ]", TButtonState::Pending},
  };
  TServiceControlClient& client = Connected();
  for (const TCase& c : cases) {
    SCOPED_TRACE("state " + std::to_string(c.state));
    system.State = c.state;
    TServerStatus status = client.ServerStatusText();
    EXPECT_EQ(status.text, Cp1250(c.text));
    EXPECT_EQ(status.buttons, c.buttons);
    EXPECT_EQ(client.Status().dwCurrentState, c.state);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ServiceControlClient, AStatusThatCannotBeReadLeavesTheButtonsPending) {
  TServiceControlClient& client = Connected();
  // A state read earlier must not stand in for one that could not be read.
  system.State = 4;
  ASSERT_EQ(client.ServerStatusText().buttons, TButtonState::Running);

  system.CallError = 5;
  TServerStatus denied = client.ServerStatusText();
  EXPECT_EQ(denied.text, Cp1250("Izabrani postupak nije započet sa odgovarajućim pravima pristupa."));
  EXPECT_EQ(denied.buttons, TButtonState::Pending);

  system.CallError = 1115;
  TServerStatus other = client.ServerStatusText();
  EXPECT_EQ(other.text, Cp1250("[ Nepoznata greška ]"));
  EXPECT_EQ(other.buttons, TButtonState::Pending);

  system.CallError = 0;
  system.Installed = false;
  TServerStatus missing = client.ServerStatusText();
  EXPECT_EQ(missing.text, "Proverite da li je server instaliran.");
  EXPECT_EQ(missing.buttons, TButtonState::Pending);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ServiceControlClient, AServiceRefusingTheOpenReadsAsNotInstalledNotAsRefused) {
  system.ServiceOpenError = 5;
  TServerStatus status = Connected().ServerStatusText();
  EXPECT_EQ(status.text, "Proverite da li je server instaliran.");
  EXPECT_EQ(status.buttons, TButtonState::Pending);
}

// ---- Opening the service manager ----

TEST_F(ServiceControlClient, AnOpenedManagerLeavesNoErrorBehind) {
  EXPECT_TRUE(Client().OpenServiceManager());
  ASSERT_EQ(system.Opens.size(), 1u);
  EXPECT_TRUE(system.Opens[0].manager);
  EXPECT_EQ(system.Opens[0].access, kManagerAllAccess);
  EXPECT_NE(Client().Manager(), 0u);
  EXPECT_EQ(Client().ManagerError(), 0u);
  EXPECT_EQ(Client().DetailsText(), "");
}

TEST_F(ServiceControlClient, ARefusedManagerKeepsItsCodeAndDescription) {
  struct TCase {
    std::uint32_t code;
    const char* text;
  };
  const TCase cases[] = {
      {5, "Zahtevana vrsta pristupa je odbijena."},
      {87, "Parametari za pristup nisu ispravni."},
      {1065, "Tražena baza podataka ne postoji."},
      {1115, "[ Nepoznata greška ]"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code));
    TServiceManagerDouble refusing;
    refusing.ManagerOpenError = c.code;
    TServiceControlClient client(refusing, nullptr);
    EXPECT_FALSE(client.OpenServiceManager());
    EXPECT_EQ(client.Manager(), 0u);
    EXPECT_EQ(client.ManagerError(), c.code);
    EXPECT_EQ(client.DetailsText(), Cp1250(c.text));
  }
}

TEST_F(ServiceControlClient, OnlyAnUnexplainedCodeAsksForThePlatformFamily) {
  system.PlatformId = 1;
  TServiceControlClient& client = Client();
  EXPECT_EQ(client.DescribeManagerError(5), "Zahtevana vrsta pristupa je odbijena.");
  EXPECT_EQ(client.DescribeManagerError(87), "Parametari za pristup nisu ispravni.");
  EXPECT_EQ(client.DescribeManagerError(1065), Cp1250("Tražena baza podataka ne postoji."));
  EXPECT_EQ(system.VersionQueries, 0);

  EXPECT_EQ(client.DescribeManagerError(1115), Cp1250("Servisi nisu podržani od Windows 98 opretivnog sistema."));
  EXPECT_EQ(system.VersionQueries, 1);
  system.PlatformId = 2;
  EXPECT_EQ(client.DescribeManagerError(1115), Cp1250("[ Nepoznata greška ]"));
}

TEST_F(ServiceControlClient, TheWindows9xFamilyIsRecognisedOnlyFromAnAnswer) {
  system.PlatformId = 1;
  EXPECT_TRUE(Client().IsWindows9x());
  system.PlatformId = 2;
  EXPECT_FALSE(Client().IsWindows9x());
  // A platform that cannot tell its version is not taken for Windows 98.
  system.PlatformId = 1;
  system.VersionUnavailable = true;
  EXPECT_FALSE(Client().IsWindows9x());
  EXPECT_EQ(Client().DescribeManagerError(1115), Cp1250("[ Nepoznata greška ]"));
}

TEST_F(ServiceControlClient, TheRefusedManagerOn9xSaysServicesAreUnsupported) {
  system.PlatformId = 1;
  system.ManagerOpenError = 120;
  EXPECT_FALSE(Client().OpenServiceManager());
  EXPECT_EQ(Client().ManagerError(), 120u);
  EXPECT_EQ(Client().DetailsText(), Cp1250("Servisi nisu podržani od Windows 98 opretivnog sistema."));
}

// ---- The refused command's message box ----

TEST_F(ServiceControlClient, EachExplainedRefusalShowsOneBoxWithItsExactText) {
  struct TCase {
    std::uint32_t code;
    const char* reason;
  };
  const TCase cases[] = {
      {3, "Binarna datoteka servisa nije pronađena."},
      {5, "Izabrani postupak nije započet\nsa odgovarajućim pravima pristupa."},
      {6, "Izabrani postupak nije ispravan."},
      {1051, "Servis se ne može zaustaviti radi drugih\naktivnih servisa koji su zavisni o njega."},
      {1052, "Zatraženi kontrolni kod nije ispravan\ni zato ga servis ne može prihvatiti."},
      {1053, "Servis nije odgovorio na zahtev za pokretanjem\nu prihvatljivom vremenskom intervalu"},
      {1054, "Programska nit se ne može kreirati za Win32 servis."},
      {1055, "Baza podataka je zaključana."},
      {1056, "Jedna instanca servisa već je pokrenuta."},
      {1058, "Servis je onemogućen."},
      {1061,
       "Zatraženi kontrolni kod ne može se poslati servisu\njer je stanje servisa\n"
       "<Zaustavljeno>, <Trenutno u kretanju> ili <Trenutno u zaustavljanju>."},
      {1062, "Server nije pokrenut."},
      {1068, "Ovaj servis je ovisan o drugom servisu\nkoji nije uspeo da se pokrene."},
      {1069, "Servis se ne može prijaviti."},
      {1072, "Servis je obeležen za uklanjanje."},
      {1075, "Ovaj servis je ovisan o drugom servisu koji ne postoji\nili je obeležen za uklanjanje."},
  };
  TServiceControlClient& client = Client();
  for (const TCase& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code));
    boxes.clear();
    client.ReportCommandFailure(c.code);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], Cp1250("Komanda nije prihvćena\n") + Cp1250(c.reason));
  }
}

TEST_F(ServiceControlClient, ACodeOutsideTheTableShowsNothing) {
  for (std::uint32_t code : {0u, 2u, 4u, 1057u, 1060u, 1063u, 1070u, 1115u}) {
    Client().ReportCommandFailure(code);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ServiceControlClient, ARefusalWithNoBoxBoundIsDropped) {
  TServiceControlClient client(system, nullptr);
  client.ReportCommandFailure(6);
  SUCCEED();
}

// ---- A service the client cannot reach: always code 6 ----

TEST_F(ServiceControlClient, StartingAServiceThatIsNotInstalledFailsWithCode6) {
  system.Installed = false;
  TServiceControlClient& client = Connected();
  TServiceResult result = client.StartServer();
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.error, 6u);
  client.ReportCommandFailure(result.error);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], Cp1250("Komanda nije prihvćena\nIzabrani postupak nije ispravan."));
}

TEST_F(ServiceControlClient, EveryOperationReportsAnUnreachableServiceAsCode6) {
  struct TScenario {
    const char* name;
    std::function<void(TServiceManagerDouble&)> arrange;
    bool openManager;
  };
  const TScenario scenarios[] = {
      {"not installed", [](TServiceManagerDouble& s) { s.Installed = false; }, true},
      {"service access refused", [](TServiceManagerDouble& s) { s.ServiceOpenError = 5; }, true},
      {"manager never opened", [](TServiceManagerDouble&) {}, false},
      {"manager refused", [](TServiceManagerDouble& s) { s.ManagerOpenError = 5; }, true},
  };
  for (const TScenario& scenario : scenarios) {
    for (const TOperationCase& operation : kOperations) {
      SCOPED_TRACE(std::string(scenario.name) + ", " + operation.name);
      TServiceManagerDouble manager;
      manager.State = operation.readyState;
      scenario.arrange(manager);
      TServiceControlClient client(manager, nullptr);
      if (scenario.openManager) client.OpenServiceManager();
      TServiceResult result = operation.run(client);
      EXPECT_FALSE(result.success);
      EXPECT_EQ(result.error, 6u);
      EXPECT_EQ(manager.State, operation.readyState);
    }
  }
}

// ---- What each operation does, and the manager's refusals ----

TEST_F(ServiceControlClient, EachOperationMakesItsOwnRequest) {
  TServiceControlClient& client = Connected();

  system.State = 1;
  EXPECT_TRUE(client.StartServer().success);
  EXPECT_EQ(system.State, 2u);

  system.State = 4;
  EXPECT_TRUE(client.PauseServer().success);
  EXPECT_EQ(system.State, 6u);
  EXPECT_EQ(client.Status().dwCurrentState, 6u);

  system.State = 7;
  EXPECT_TRUE(client.ContinueServer().success);
  EXPECT_EQ(system.State, 5u);

  system.State = 4;
  EXPECT_TRUE(client.StopServer().success);
  EXPECT_EQ(system.State, 3u);

  system.State = 4;
  EXPECT_TRUE(client.NotifyServer().success);
  EXPECT_EQ(system.State, 4u);
  EXPECT_EQ(system.UserControls, std::vector<std::uint32_t>{200});

  system.State = 7;
  TServiceResult queried = client.QueryServerStatus();
  EXPECT_TRUE(queried.success);
  EXPECT_EQ(queried.error, 0u);
  EXPECT_EQ(client.Status().dwCurrentState, 7u);
  EXPECT_TRUE(boxes.empty());
}

// The double clears the last error on every successful call, the close
// included: a code read after closing the service would come back as 0.
TEST_F(ServiceControlClient, TheManagersRefusalComesBackWithItsOwnCode) {
  TServiceControlClient& client = Connected();

  system.State = 4;
  EXPECT_EQ(client.StartServer().error, 1056u);
  system.State = 6;
  EXPECT_EQ(client.StartServer().error, 1056u);

  system.State = 1;
  system.Disabled = true;
  EXPECT_EQ(client.StartServer().error, 1058u);
  system.Disabled = false;

  for (auto control : {&TServiceControlClient::PauseServer, &TServiceControlClient::ContinueServer,
                       &TServiceControlClient::StopServer, &TServiceControlClient::NotifyServer}) {
    system.State = 1;
    TServiceResult stopped = (client.*control)();
    EXPECT_FALSE(stopped.success);
    EXPECT_EQ(stopped.error, 1062u);
    system.State = 3;
    EXPECT_EQ((client.*control)().error, 1061u);
  }

  system.State = 4;
  system.CallError = 1063;
  for (const TOperationCase& operation : kOperations) {
    SCOPED_TRACE(operation.name);
    TServiceResult result = operation.run(client);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.error, 1063u);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ServiceControlClient, AStartThatSettlesReadsAsRunning) {
  TServiceControlClient& client = Connected();
  ASSERT_TRUE(client.StartServer().success);
  EXPECT_EQ(client.ServerStatusText().text, Cp1250("Server se pokreće..."));
  system.Settle();
  TServerStatus status = client.ServerStatusText();
  EXPECT_EQ(status.text, "Server je pokrenut.");
  EXPECT_EQ(status.buttons, TButtonState::Running);
}

// ---- Handles: the right asked for, and everything opened closed ----

TEST_F(ServiceControlClient, EachOperationAsksForExactlyItsAccessRightAndClosesTheService) {
  for (bool refused : {false, true}) {
    for (const TOperationCase& operation : kOperations) {
      SCOPED_TRACE(std::string(operation.name) + (refused ? ", refused by the manager" : ""));
      TServiceManagerDouble manager;
      manager.State = operation.readyState;
      if (refused) manager.CallError = 1063;
      TServiceControlClient client(manager, nullptr);
      ASSERT_TRUE(client.OpenServiceManager());
      TScHandle managerHandle = client.Manager();

      EXPECT_EQ(operation.run(client).success, !refused);

      std::vector<TServiceManagerDouble::TOpen> opens = manager.ServiceOpens();
      ASSERT_EQ(opens.size(), 1u);
      EXPECT_EQ(opens[0].serviceName, "VeltaService");
      EXPECT_EQ(opens[0].access, operation.access);
      EXPECT_NE(opens[0].handle, 0u);
      EXPECT_EQ(manager.Closes, std::vector<TScHandle>{opens[0].handle});
      EXPECT_EQ(manager.OpenHandleCount(), 1u);
      EXPECT_EQ(client.Manager(), managerHandle);
    }
  }
}

TEST_F(ServiceControlClient, AFailedOpenClosesNothing) {
  for (const TOperationCase& operation : kOperations) {
    SCOPED_TRACE(operation.name);
    TServiceManagerDouble manager;
    manager.Installed = false;
    TServiceControlClient client(manager, nullptr);
    ASSERT_TRUE(client.OpenServiceManager());
    operation.run(client);
    ASSERT_EQ(manager.ServiceOpens().size(), 1u);
    EXPECT_EQ(manager.ServiceOpens()[0].access, operation.access);
    EXPECT_TRUE(manager.Closes.empty());
  }
}

TEST_F(ServiceControlClient, TheManagerIsClosedWhenTheClientGoes) {
  TScHandle managerHandle = Connected().Manager();
  Client().StartServer();
  Client().ServerStatusText();
  system.Closes.clear();
  DestroyClient();
  EXPECT_EQ(system.Closes, std::vector<TScHandle>{managerHandle});
  EXPECT_EQ(system.OpenHandleCount(), 0u);
}

TEST_F(ServiceControlClient, AClientWithoutAManagerClosesNothing) {
  system.ManagerOpenError = 5;
  Client().OpenServiceManager();
  Client().StartServer();
  DestroyClient();
  { TServiceControlClient neverOpened(system, nullptr); }
  EXPECT_TRUE(system.Closes.empty());
}

TEST_F(ServiceControlClient, OpeningTheManagerAgainKeepsTheOneConnection) {
  TServiceControlClient& client = Connected();
  TScHandle first = client.Manager();
  EXPECT_TRUE(client.OpenServiceManager());
  EXPECT_EQ(client.Manager(), first);
  EXPECT_EQ(system.Opens.size(), 1u);
}

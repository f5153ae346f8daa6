// echo-host in a child process under lowered resource limits: running out
// of memory costs only the connection that asked for it, and running out of
// descriptors neither spins the listener nor stops it for good.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_client.h"

namespace {

using velta::testing::BigEndian32;
using velta::testing::Bytes;
using velta::testing::FindFreePort;
using velta::testing::LoopbackClient;
using velta::testing::Pattern;
using velta::testing::Text;
using velta::testing::WaitUntil;

// echo-host on a port of its own, started with one resource limit lowered.
class LimitedEchoHost {
 public:
  LimitedEchoHost(int resource, rlim_t limit) : FPort(FindFreePort()) {
    std::string port = std::to_string(FPort);
    FPid = fork();
    if (FPid == 0) {
      rlimit lowered{limit, limit};
      if (setrlimit(resource, &lowered) != 0) _exit(126);
      execl(VELTA_ECHO_HOST, VELTA_ECHO_HOST, port.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~LimitedEchoHost() {
    if (FPid <= 0) return;
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
  }
  LimitedEchoHost(const LimitedEchoHost&) = delete;
  LimitedEchoHost& operator=(const LimitedEchoHost&) = delete;

  int Port() const { return FPort; }
  bool Listening() const {
    return WaitUntil([&] { return LoopbackClient(FPort, 200).Connected(); });
  }
  bool Running() const { return FPid > 0 && waitpid(FPid, nullptr, WNOHANG) == 0; }
  // User and system time the process has used, in clock ticks: fields 14
  // and 15 of its stat line, counted from the name's closing parenthesis.
  long CpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(FPid) + "/stat");
    std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    unsigned long user = 0, system = 0;
    std::sscanf(line.c_str() + line.rfind(')') + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                &system);
    return static_cast<long>(user + system);
  }

 private:
  int FPort;
  pid_t FPid = -1;
};

bool EchoAnswers(int port, std::uint32_t seed) {
  LoopbackClient client(port);
  if (!client.Connected()) return false;
  Bytes payload = Pattern(1000, seed);
  client.SendFrame(payload);
  return client.ReadFrame() == payload;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

TEST(ResourceLimits, AFrameLargerThanTheMemoryEndsOnlyItsOwnConnection) {
  // The sanitizers' runtime reserves terabytes of address space.
  if (kSanitized) GTEST_SKIP() << "an address-space limit cannot hold a sanitizer's runtime";
  LimitedEchoHost host(RLIMIT_AS, rlim_t{768} << 20);
  ASSERT_TRUE(host.Listening());
  LoopbackClient bystander(host.Port());
  VELTA_ASSERT_CONNECTED(bystander);

  // Declares 2 GiB and really sends it, until the server gives up.
  LoopbackClient greedy(host.Port());
  VELTA_ASSERT_CONNECTED(greedy);
  greedy.SendBytes(BigEndian32(0x7FFFFFFF));
  Bytes chunk = Pattern(1 << 20, 7);
  std::size_t sent = 0;
  while (sent < (std::size_t{2} << 30) && greedy.TrySend(chunk)) sent += chunk.size();
  EXPECT_LT(sent, std::size_t{2} << 30) << "the server took a 2 GiB frame within a 768 MiB address space";

  EXPECT_TRUE(host.Running());
  Bytes payload = Text("still served");
  bystander.SendFrame(payload);
  EXPECT_EQ(bystander.ReadFrame(), payload);
  EXPECT_TRUE(EchoAnswers(host.Port(), 1)) << "the listener no longer accepts";
}

TEST(ResourceLimits, TheListenerRestsWhileDescriptorsRunOutAndServesWhenTheyAreBack) {
  // UndefinedBehaviorSanitizer checks a type through a pipe of its own, and
  // takes the pipe it cannot make for a broken object.
  if (kSanitized) GTEST_SKIP() << "the sanitizers' checks need descriptors of their own";
  LimitedEchoHost host(RLIMIT_NOFILE, 32);
  ASSERT_TRUE(host.Listening());
  // Idle connections fill the descriptor table; the rest wait in the
  // listen queue, where each one fails every accept.
  std::vector<std::unique_ptr<LoopbackClient>> idle;
  for (int i = 0; i < 40; ++i) {
    idle.push_back(std::make_unique<LoopbackClient>(host.Port()));
    VELTA_ASSERT_CONNECTED(*idle.back());
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  long before = host.CpuTicks();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  long used = host.CpuTicks() - before;
  long perSecond = sysconf(_SC_CLK_TCK);
  EXPECT_LT(used, 2 * perSecond / 10) << "clock ticks in 2 s with the descriptors exhausted";

  idle.clear();
  EXPECT_TRUE(WaitUntil([&] { return EchoAnswers(host.Port(), 2); }))
      << "no echo once the idle clients had gone";
  EXPECT_TRUE(host.Running());
}

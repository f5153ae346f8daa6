#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "service/event_log.h"

// Control codes as the service control manager numbers them.
enum : unsigned {
  kControlStop = 1,
  kControlPause = 2,
  kControlContinue = 3,
  kControlInterrogate = 4,
  kControlShutdown = 5,
  kFirstUserControl = 128,
  kLastUserControl = 255,
};

// The states the system sees, numbered as SERVICE_STATUS numbers them.
enum class TServiceState : unsigned {
  Stopped = 1,
  StartPending = 2,
  StopPending = 3,
  Running = 4,
  ContinuePending = 5,
  PausePending = 6,
  Paused = 7,
};

using TServiceControlEntry = void (*)(unsigned code);

// Base of a service object: handler events with success flags, control
// codes queued for the service thread, the state the host reports to the
// system. The host (the Windows control dispatcher, or a foreground run on
// POSIX) drives it; unit tests drive it directly.
class TService {
 public:
  using TFlagEvent = std::function<void(TService* sender, bool& done)>;
  using TEvent = std::function<void(TService* sender)>;
  // exitCode: 0, or the service-specific code of a start that failed.
  using TStateListener = std::function<void(TServiceState state, int exitCode)>;

  TService(std::string name, std::string displayName, TEventLog& eventLog);
  virtual ~TService() = default;
  TService(const TService&) = delete;
  TService& operator=(const TService&) = delete;

  const std::string& Name() const { return FName; }
  const std::string& DisplayName() const { return FDisplayName; }
  // What the system's list of services shows under the name, in
  // Windows-1250; none when empty.
  std::string Description;

  TFlagEvent OnStart;
  TFlagEvent OnPause;
  TFlagEvent OnContinue;
  TFlagEvent OnStop;
  TEvent OnShutdown;
  TEvent OnExecute;
  TEvent AfterInstall;
  TEvent AfterUninstall;

  // Delivers a control code as if the system had sent it: queues the code
  // for the service thread (a stop is reported pending at once). Any thread.
  void Controller(unsigned code);
  // On the service thread: runs the handlers of the queued requests; with
  // waitForMessage, first waits until one is queued.
  void ProcessRequests(bool waitForMessage);
  bool Terminated();
  TServiceState State();
  void LogMessage(const std::string& text, int type = 1, int category = 0, int id = 0);

  // The whole life of the service on the calling thread (the service
  // thread): start, execute, stop. Returns once the service has stopped; the
  // result is 0, or the service-specific exit code of a start that failed.
  int RunServiceThread();

  // Told every state the service enters, for the host to report it.
  void SetStateListener(TStateListener listener);
  // The function that the system's control dispatcher calls with each code.
  virtual TServiceControlEntry GetControlEntry() = 0;
  // Whether the service, as its settings stand, is meant to be running: an
  // installer starts it after an installation only then.
  virtual bool SwitchedOn() const { return true; }

  // A start whose handler failed ends the service with this exit code.
  static constexpr int kStartFailedExitCode = 1;

 protected:
  // The request dispatchers. Each runs its handler and reports whether the
  // request completed; an error escaping a handler becomes one event-log
  // entry and leaves the service in its previous state.
  virtual bool DoStart();
  virtual bool DoStop();
  virtual bool DoPause();
  virtual bool DoContinue();
  virtual void DoInterrogate();
  virtual void DoShutdown();
  // A user-defined control code (128 to 255); true when it was handled.
  virtual bool HandleUserControl(unsigned code);

 private:
  bool RunFlagHandler(const TFlagEvent& handler, const char* name);
  void Dispatch(unsigned code);
  // Reports STOP_PENDING for a running or paused service, remembering the
  // state to go back to if the stop handler fails.
  void EnterStopPending();
  void SetState(TServiceState state, int exitCode = 0);
  // Records the state and tells the listener; FReportLock held, so that the
  // system hears the states in the order they were entered.
  void Report(TServiceState state, int exitCode);

  std::string FName;
  std::string FDisplayName;
  TEventLog& FEventLog;
  std::mutex FLock;
  // Held from recording a state to the end of its report; never taken
  // inside FLock.
  std::mutex FReportLock;
  std::condition_variable FQueued;
  std::deque<unsigned> FRequests;
  TServiceState FState = TServiceState::Stopped;
  TServiceState FStateBeforeStop = TServiceState::Running;
  bool FTerminated = false;
  TStateListener FStateListener;
};

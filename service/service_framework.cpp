#include "service/service_framework.h"

TService::TService(std::string name, std::string displayName, TEventLog& eventLog)
    : FName(std::move(name)), FDisplayName(std::move(displayName)), FEventLog(eventLog) {}

void TService::Controller(unsigned code) {
  {
    std::lock_guard<std::mutex> hold(FLock);
    FRequests.push_back(code);
    FQueued.notify_all();
  }
  // The system must hear at once that a stop is under way: Wine's service
  // manager ends a service that gets a second control after a stop before
  // it has reported STOP_PENDING.
  if (code == kControlStop) EnterStopPending();
}

void TService::EnterStopPending() {
  // The look at the state and the report are one step: the service thread
  // may otherwise stop between them and hear of STOP_PENDING afterwards.
  std::lock_guard<std::mutex> reporting(FReportLock);
  TServiceState state = State();
  if (state != TServiceState::Running && state != TServiceState::Paused) return;
  {
    std::lock_guard<std::mutex> hold(FLock);
    FStateBeforeStop = state;
  }
  Report(TServiceState::StopPending, 0);
}

void TService::ProcessRequests(bool waitForMessage) {
  std::deque<unsigned> requests;
  {
    std::unique_lock<std::mutex> hold(FLock);
    if (waitForMessage) FQueued.wait(hold, [this] { return !FRequests.empty(); });
    requests.swap(FRequests);
  }
  for (unsigned code : requests) Dispatch(code);
}

bool TService::Terminated() {
  std::lock_guard<std::mutex> hold(FLock);
  return FTerminated;
}

TServiceState TService::State() {
  std::lock_guard<std::mutex> hold(FLock);
  return FState;
}

void TService::SetStateListener(TStateListener listener) {
  std::lock_guard<std::mutex> hold(FLock);
  FStateListener = std::move(listener);
}

void TService::SetState(TServiceState state, int exitCode) {
  std::lock_guard<std::mutex> reporting(FReportLock);
  Report(state, exitCode);
}

void TService::Report(TServiceState state, int exitCode) {
  TStateListener listener;
  {
    std::lock_guard<std::mutex> hold(FLock);
    FState = state;
    listener = FStateListener;
  }
  if (listener) listener(state, exitCode);
}

void TService::LogMessage(const std::string& text, int, int, int) { FEventLog.LogError(text); }

bool TService::RunFlagHandler(const TFlagEvent& handler, const char* name) {
  bool done = false;
  try {
    if (handler) handler(this, done);
  } catch (const std::exception& e) {
    LogMessage(FName + " : " + name + " : " + e.what());
    return false;
  } catch (...) {
    LogMessage(FName + " : " + name + " : unknown error");
    return false;
  }
  return done;
}

bool TService::DoStart() { return RunFlagHandler(OnStart, "OnStart"); }
bool TService::DoStop() { return RunFlagHandler(OnStop, "OnStop"); }
bool TService::DoPause() { return RunFlagHandler(OnPause, "OnPause"); }
bool TService::DoContinue() { return RunFlagHandler(OnContinue, "OnContinue"); }
void TService::DoInterrogate() { SetState(State()); }

void TService::DoShutdown() {
  TFlagEvent asFlagEvent = [this](TService* sender, bool& done) {
    if (OnShutdown) OnShutdown(sender);
    done = true;
  };
  RunFlagHandler(asFlagEvent, "OnShutdown");
}

bool TService::HandleUserControl(unsigned) { return false; }

void TService::Dispatch(unsigned code) {
  TServiceState before = State();
  switch (code) {
    case kControlStop: {
      if (Terminated()) return;
      EnterStopPending();
      if (State() != TServiceState::StopPending) return;
      if (DoStop()) {
        std::lock_guard<std::mutex> hold(FLock);
        FTerminated = true;
        return;
      }
      TServiceState restored;
      {
        std::lock_guard<std::mutex> hold(FLock);
        restored = FStateBeforeStop;
      }
      SetState(restored);
      return;
    }
    case kControlPause:
      // The system may pass on a pause for a service that is already paused.
      if (before != TServiceState::Running) return;
      SetState(TServiceState::PausePending);
      SetState(DoPause() ? TServiceState::Paused : before);
      return;
    case kControlContinue:
      if (before != TServiceState::Paused) return;
      SetState(TServiceState::ContinuePending);
      SetState(DoContinue() ? TServiceState::Running : before);
      return;
    case kControlInterrogate:
      DoInterrogate();
      return;
    case kControlShutdown: {
      DoShutdown();
      std::lock_guard<std::mutex> hold(FLock);
      FTerminated = true;
      return;
    }
    default:
      if (code >= kFirstUserControl && code <= kLastUserControl) HandleUserControl(code);
      return;
  }
}

int TService::RunServiceThread() {
  SetState(TServiceState::StartPending);
  if (!DoStart()) {
    SetState(TServiceState::Stopped, kStartFailedExitCode);
    return kStartFailedExitCode;
  }
  SetState(TServiceState::Running);
  try {
    if (OnExecute) {
      OnExecute(this);
    } else {
      while (!Terminated()) ProcessRequests(true);
    }
  } catch (const std::exception& e) {
    LogMessage(FName + " : OnExecute : " + e.what());
  } catch (...) {
    LogMessage(FName + " : OnExecute : unknown error");
  }
  // An execute that ended on its own, by an error, still stops the service
  // the ordinary way, so that the server closes and the stop is logged.
  if (!Terminated()) {
    SetState(TServiceState::StopPending);
    DoStop();
  }
  SetState(TServiceState::Stopped);
  return 0;
}

#include "doubles/scripted_socket_layer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
thread_local int tLastError = 0;

int Fail(int code) {
  tLastError = code;
  return Id_SOCKET_ERROR;
}
}  // namespace

void TScriptedSocketLayer::QueueRecv(const std::string& bytes) {
  std::lock_guard<std::mutex> hold(FLock);
  FRecvs.push_back({bytes, 0});
}

void TScriptedSocketLayer::QueueRecvError(int code) {
  std::lock_guard<std::mutex> hold(FLock);
  FRecvs.push_back({"", code});
}

void TScriptedSocketLayer::FailRecvForever(int code) {
  std::lock_guard<std::mutex> hold(FLock);
  FRecvForeverError = code;
}

void TScriptedSocketLayer::QueueAccept() {
  std::lock_guard<std::mutex> hold(FLock);
  FAccepts.push_back(0);
}

void TScriptedSocketLayer::QueueAcceptError(int code) {
  std::lock_guard<std::mutex> hold(FLock);
  FAccepts.push_back(code);
}

void TScriptedSocketLayer::LimitNextSend(int count) {
  std::lock_guard<std::mutex> hold(FLock);
  FSendResults.push_back({count, 0});
}

void TScriptedSocketLayer::QueueSendError(int code) {
  std::lock_guard<std::mutex> hold(FLock);
  FSendResults.push_back({-1, code});
}

std::vector<std::string> TScriptedSocketLayer::Sends() {
  std::lock_guard<std::mutex> hold(FLock);
  return FSends;
}

std::vector<bool> TScriptedSocketLayer::SendsHeldForMore() {
  std::lock_guard<std::mutex> hold(FLock);
  return FSendsHeldForMore;
}

int TScriptedSocketLayer::RecvCalls() {
  std::lock_guard<std::mutex> hold(FLock);
  return FRecvCalls;
}

int TScriptedSocketLayer::ShutdownCalls() {
  std::lock_guard<std::mutex> hold(FLock);
  return FShutdownCalls;
}

int TScriptedSocketLayer::CloseCalls() {
  std::lock_guard<std::mutex> hold(FLock);
  return FCloseCalls;
}

bool TScriptedSocketLayer::IsListening(TIdStackSocketHandle socket) {
  return std::find(FListening.begin(), FListening.end(), socket) != FListening.end();
}

TIdStackSocketHandle TScriptedSocketLayer::CreateSocket() {
  std::lock_guard<std::mutex> hold(FLock);
  return FNextHandle++;
}

int TScriptedSocketLayer::Bind(TIdStackSocketHandle, const std::string&, int port) {
  std::lock_guard<std::mutex> hold(FLock);
  FBoundPort = port;
  return 0;
}

int TScriptedSocketLayer::Listen(TIdStackSocketHandle socket, int) {
  std::lock_guard<std::mutex> hold(FLock);
  FListening.push_back(socket);
  return 0;
}

TIdStackSocketHandle TScriptedSocketLayer::Accept(TIdStackSocketHandle) {
  std::lock_guard<std::mutex> hold(FLock);
  if (FAccepts.empty()) return Fail(10004), Id_INVALID_SOCKET;
  int error = FAccepts.front();
  FAccepts.pop_front();
  if (error != 0) return Fail(error), Id_INVALID_SOCKET;
  return FNextHandle++;
}

int TScriptedSocketLayer::WaitReadable(TIdStackSocketHandle socket, int timeoutMs) {
  {
    std::lock_guard<std::mutex> hold(FLock);
    if (!IsListening(socket) || !FAccepts.empty()) return 1;
  }
  // A listener with nothing to accept waits out its time, as a real one would.
  std::this_thread::sleep_for(std::chrono::milliseconds(std::max(timeoutMs, 1)));
  return 0;
}

int TScriptedSocketLayer::Recv(TIdStackSocketHandle, void* buffer, int length) {
  std::lock_guard<std::mutex> hold(FLock);
  ++FRecvCalls;
  if (FRecvs.empty()) return FRecvForeverError != 0 ? Fail(FRecvForeverError) : 0;
  TRecvResult& next = FRecvs.front();
  if (next.Error != 0) {
    int code = next.Error;
    FRecvs.pop_front();
    return Fail(code);
  }
  int n = std::min<int>(length, static_cast<int>(next.Bytes.size()));
  std::memcpy(buffer, next.Bytes.data(), static_cast<std::size_t>(n));
  next.Bytes.erase(0, static_cast<std::size_t>(n));
  if (next.Bytes.empty()) FRecvs.pop_front();
  return n;
}

int TScriptedSocketLayer::Send(TIdStackSocketHandle, const void* buffer, int length, bool moreFollows) {
  std::lock_guard<std::mutex> hold(FLock);
  int n = length;
  if (!FSendResults.empty()) {
    TSendResult next = FSendResults.front();
    FSendResults.pop_front();
    if (next.Error != 0) return Fail(next.Error);
    n = std::min(n, next.Limit);
  }
  FSends.emplace_back(static_cast<const char*>(buffer), static_cast<std::size_t>(n));
  FSendsHeldForMore.push_back(moreFollows);
  return n;
}

int TScriptedSocketLayer::Shutdown(TIdStackSocketHandle, int) {
  std::lock_guard<std::mutex> hold(FLock);
  ++FShutdownCalls;
  return 0;
}

int TScriptedSocketLayer::Close(TIdStackSocketHandle socket) {
  std::lock_guard<std::mutex> hold(FLock);
  ++FCloseCalls;
  FListening.erase(std::remove(FListening.begin(), FListening.end(), socket), FListening.end());
  return 0;
}

bool TScriptedSocketLayer::Interrupt(TIdStackSocketHandle) { return false; }

bool TScriptedSocketLayer::LocalAddress(TIdStackSocketHandle, TIdSocketAddress& address) {
  std::lock_guard<std::mutex> hold(FLock);
  address.IP = "0.0.0.0";
  address.Port = FBoundPort;
  return true;
}

bool TScriptedSocketLayer::PeerAddress(TIdStackSocketHandle, TIdSocketAddress& address) {
  address.IP = "127.0.0.1";
  address.Port = 40000;
  return true;
}

void TScriptedSocketLayer::SetNoDelay(TIdStackSocketHandle) {}

int TScriptedSocketLayer::LastError() { return tLastError; }

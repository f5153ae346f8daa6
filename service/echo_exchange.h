#pragma once

class TIdPeerThread;

// One exchange on the connection of AThread: one request frame in, the same
// payload back. Raises the error of the failed step; the connection loop
// decides what follows.
void IdTCPServerExecute(TIdPeerThread* AThread);

#include <gtest/gtest.h>

#include "service/net/id_exceptions.h"

TEST(SocketErrorMessages, CarryTheCodeAndItsText) {
  EXPECT_STREQ(EIdSocketError(10054).what(), "Socket Error # 10054\r\nConnection reset by peer.");
  EXPECT_STREQ(EIdSocketError(10035).what(), "Socket Error # 10035\r\nOperation would block. ");
  EXPECT_STREQ(EIdSocketError(10066).what(), "Socket Error # 10066\r\nDirectory not empty");
  EXPECT_STREQ(EIdSocketError(10004).what(), "Socket Error # 10004\r\nInterrupted system call.");
}

TEST(SocketErrorMessages, ACodeOutsideTheTableHasAnEmptyText) {
  EXPECT_STREQ(EIdSocketError(10067).what(), "Socket Error # 10067\r\n");
  EXPECT_STREQ(EIdSocketError(1).what(), "Socket Error # 1\r\n");
}

// The connection loop and its callers tell errors apart by class.
TEST(ErrorClasses, StandWhereTheirHandlersCatchThem) {
  EXPECT_THROW(throw EIdConnClosedGracefully(), EIdSilentException);
  EXPECT_THROW(throw EIdCouldNotBindSocket(), EIdSocketHandleError);
  EXPECT_THROW(throw EIdTerminateThreadTimeout(), EIdTCPServerError);
  EXPECT_THROW(throw EIdNotConnected(), EIdTCPConnectionError);
  EXPECT_THROW(throw EIdNoDataToRead(), EIdTCPConnectionError);
  EXPECT_THROW(throw EIdStackInitializationFailed(), EIdStackError);
  EXPECT_STREQ(EIdTerminateThreadTimeout().what(), "Terminate Thread Timeout");
  EXPECT_STREQ(EIdCouldNotBindSocket().what(), "Could not bind socket. Address and port are already in use.");
}

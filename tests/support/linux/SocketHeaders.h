#pragma once

// The socket declarations of this system for the tests (POSIX); win32/ has Winsock's.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#pragma once
// The socket library's table on Windows: the 46 entry points of the Windows Sockets 1.1
// library "WSOCK32", in the order LoadWinsock looks them up by name.
#include "winsys/Win32.h"

#include <winsock2.h>

#include <cstdint>

namespace port {

struct TWSAData;

struct TSockFuncs {
    SOCKET(WSAAPI* accept)(SOCKET, sockaddr*, int*) = nullptr;
    int(WSAAPI* bind)(SOCKET, const sockaddr*, int) = nullptr;
    int(WSAAPI* closesocket)(SOCKET) = nullptr;
    int(WSAAPI* connect)(SOCKET, const sockaddr*, int) = nullptr;
    int(WSAAPI* getpeername)(SOCKET, sockaddr*, int*) = nullptr;
    int(WSAAPI* getsockname)(SOCKET, sockaddr*, int*) = nullptr;
    int(WSAAPI* getsockopt)(SOCKET, int, int, char*, int*) = nullptr;
    u_long(WSAAPI* htonl)(u_long) = nullptr;
    u_short(WSAAPI* htons)(u_short) = nullptr;
    unsigned long(WSAAPI* inet_addr)(const char*) = nullptr;
    char*(WSAAPI* inet_ntoa)(in_addr) = nullptr;
    int(WSAAPI* ioctlsocket)(SOCKET, long, u_long*) = nullptr;
    int(WSAAPI* listen)(SOCKET, int) = nullptr;
    u_long(WSAAPI* ntohl)(u_long) = nullptr;
    u_short(WSAAPI* ntohs)(u_short) = nullptr;
    int(WSAAPI* recv)(SOCKET, char*, int, int) = nullptr;
    int(WSAAPI* recvfrom)(SOCKET, char*, int, int, sockaddr*, int*) = nullptr;
    int(WSAAPI* select)(int, fd_set*, fd_set*, fd_set*, const timeval*) = nullptr;
    int(WSAAPI* send)(SOCKET, const char*, int, int) = nullptr;
    int(WSAAPI* sendto)(SOCKET, const char*, int, int, const sockaddr*, int) = nullptr;
    int(WSAAPI* setsockopt)(SOCKET, int, int, const char*, int) = nullptr;
    int(WSAAPI* shutdown)(SOCKET, int) = nullptr;
    SOCKET(WSAAPI* socket)(int, int, int) = nullptr;
    hostent*(WSAAPI* gethostbyaddr)(const char*, int, int) = nullptr;
    hostent*(WSAAPI* gethostbyname)(const char*) = nullptr;
    int(WSAAPI* gethostname)(char*, int) = nullptr;
    servent*(WSAAPI* getservbyport)(int, const char*) = nullptr;
    servent*(WSAAPI* getservbyname)(const char*, const char*) = nullptr;
    protoent*(WSAAPI* getprotobynumber)(int) = nullptr;
    protoent*(WSAAPI* getprotobyname)(const char*) = nullptr;
    int(WSAAPI* WSAStartup)(WORD, WSADATA*) = nullptr;
    int(WSAAPI* WSACleanup)() = nullptr;
    void(WSAAPI* WSASetLastError)(int) = nullptr;
    int(WSAAPI* WSAGetLastError)() = nullptr;
    BOOL(WSAAPI* WSAIsBlocking)() = nullptr;
    int(WSAAPI* WSAUnhookBlockingHook)() = nullptr;
    FARPROC(WSAAPI* WSASetBlockingHook)(FARPROC) = nullptr;
    int(WSAAPI* WSACancelBlockingCall)() = nullptr;
    HANDLE(WSAAPI* WSAAsyncGetServByName)
    (HWND, u_int, const char*, const char*, char*, int) = nullptr;
    HANDLE(WSAAPI* WSAAsyncGetServByPort)(HWND, u_int, int, const char*, char*, int) = nullptr;
    HANDLE(WSAAPI* WSAAsyncGetProtoByName)(HWND, u_int, const char*, char*, int) = nullptr;
    HANDLE(WSAAPI* WSAAsyncGetProtoByNumber)(HWND, u_int, int, char*, int) = nullptr;
    HANDLE(WSAAPI* WSAAsyncGetHostByName)(HWND, u_int, const char*, char*, int) = nullptr;
    HANDLE(WSAAPI* WSAAsyncGetHostByAddr)(HWND, u_int, const char*, int, int, char*, int) = nullptr;
    int(WSAAPI* WSACancelAsyncRequest)(HANDLE) = nullptr;
    int(WSAAPI* WSAAsyncSelect)(SOCKET, HWND, u_int, long) = nullptr;
};

} // namespace port

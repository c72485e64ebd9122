#pragma once

// The download function of the network module (see NetworkModule.cpp), as
// the program resolves it. It reads at most maxBytes of the answer at url
// (http or https; redirects only to those, never from https to http, at most
// five) into out, waiting at most timeoutMs; 1 on success, else 0 with the
// reason in error. An answer with an HTTP error status is a failure. The
// request names the program by userAgent.

extern "C" {
using KestravaDownload = int (*)(const char *url, const char *userAgent, int maxBytes, int timeoutMs,
                                 char *out, int *outSize, char *error, int errorSize);
}

#define KESTRAVA_NETWORK_MODULE "kestrava-network"
// Named anew whenever the function's arguments change, so that a program
// never calls a module of another build with the wrong ones.
#define KESTRAVA_DOWNLOAD_SYMBOL "kestrava_download_as"

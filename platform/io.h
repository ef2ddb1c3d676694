// io.h -- the low-level file calls (open, lseek, read, close) and O_BINARY, which only Windows needs.
#pragma once

#include <fcntl.h>
#include <stdio.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#ifndef O_BINARY
#define O_BINARY 0
#endif
#endif

// Symbol visibility of the agent's common library.
#pragma once

#if defined(_WIN32)
#if defined(CORVANE_COMMON_BUILD)
#define CORVANE_COMMON_API __declspec(dllexport)
#else
#define CORVANE_COMMON_API __declspec(dllimport)
#endif
#else
#define CORVANE_COMMON_API __attribute__((visibility("default")))
#endif

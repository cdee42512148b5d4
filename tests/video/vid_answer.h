// The mode menu answered from a test: standard input replaced by a file holding the answer.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "video/vid.h"

// Standard input becomes a file with `text` (its name removed at once); false when it can't.
inline bool vid_test_answer(const std::string& text)
{
    const std::string path = "/tmp/orv-vid-answer-" + std::to_string(getpid());
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fputs(text.c_str(), f);
    std::fclose(f);
    const bool ok = std::freopen(path.c_str(), "r", stdin) != nullptr;
    unlink(path.c_str());
    return ok;
}

// vid_init_size with `text` as the menu's answer, the menu dropped; -1 when stdin can't be replaced.
inline int vid_test_init_answered(const std::string& text, int width = 320, int height = 240)
{
    if (!vid_test_answer(text)) return -1;
    testing::internal::CaptureStdout();
    const int r = vid_init_size(width, height, 0);
    testing::internal::GetCapturedStdout();
    return r;
}

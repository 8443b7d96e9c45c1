// The test program's side of PBF_QueryClientInfo: what it answers and the
// calls it has seen. Only programs built with HostAnswer.cpp export it.
#pragma once

#include <vector>

struct HostAnswer {
    unsigned char bytes[4] = {0, 0, 0, 0};
    bool writes = true;  // false: answers without touching the buffer
    int result = 1;
    std::vector<int> codes;  // one entry per call
};

HostAnswer& TheHostAnswer();

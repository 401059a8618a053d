// The Wine probe's small Windows program (see scripts/wine32-probe.sh): built
// 32-bit, it says so only when it really runs as 32-bit code.
#include <cstdio>

int main() {
    if (sizeof(void*) != 4) return 1;
    std::puts("probe32: 32-bit Windows code runs");
    return 0;
}

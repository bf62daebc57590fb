// The benchmark models written directly in C++, the yardstick the engine's
// figures are given against. Each returns a value so the work is not dropped.
#pragma once

// The 50-variable scalar model (ten levels, four auxiliaries each), 100,000
// Euler steps in float with double intermediates, as the engine computes.
inline float scalar_model_direct() {
    static volatile float kv = 0.001f;
    float L[10], k[10], a[10], b[10], c[10], f[10];
    for (int i = 0; i < 10; ++i) {
        L[i] = 10;
        k[i] = kv * static_cast<float>(i + 1);
    }
    for (int step = 0; step <= 100000; ++step) {
        for (int i = 0; i < 10; ++i) {
            a[i] = static_cast<float>(static_cast<double>(L[i]) * k[i]);
            b[i] = static_cast<float>(a[i] + static_cast<double>(L[(i + 1) % 10]) * 0.0001);
            c[i] = static_cast<float>(b[i] - static_cast<double>(L[i]) * 0.0002);
            f[i] = static_cast<float>(c[i] / (1 + static_cast<double>(a[i]) * a[i]));
        }
        if (step == 100000) break;
        for (int i = 0; i < 10; ++i) L[i] += f[i];
    }
    return L[0];
}

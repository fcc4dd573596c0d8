// The processor's double-precision peak: long chains of independent vector
// multiply-adds with no memory traffic, fused (fma_chains) or as separate
// multiplies and adds (mul_add_chains, as the lag-sum kernels do them).
// Shared by the benchmarks that judge a kernel against the peak.
#pragma once

namespace vok_bench {

constexpr int kChains = 12;  // enough independent chains to cover the latency
constexpr long kSteps = 1 << 16;

// Twelve chains in ymm0..ymm11, each step one instruction per chain; the
// loop is written out in assembly so that no compiler choice (spilling a
// chain to memory, say) can lower the figure.
#define VOK_TWELVE(op)                                                     \
  op " %%ymm12, %%ymm13, %%ymm0\n\t" op " %%ymm12, %%ymm13, %%ymm1\n\t" op \
     " %%ymm12, %%ymm13, %%ymm2\n\t" op " %%ymm12, %%ymm13, %%ymm3\n\t" op \
     " %%ymm12, %%ymm13, %%ymm4\n\t" op " %%ymm12, %%ymm13, %%ymm5\n\t" op \
     " %%ymm12, %%ymm13, %%ymm6\n\t" op " %%ymm12, %%ymm13, %%ymm7\n\t" op \
     " %%ymm12, %%ymm13, %%ymm8\n\t" op " %%ymm12, %%ymm13, %%ymm9\n\t" op \
     " %%ymm12, %%ymm13, %%ymm10\n\t" op " %%ymm12, %%ymm13, %%ymm11\n\t"

__attribute__((target("avx2,fma"))) inline void fma_chains(long steps) {
  // acc = acc + a * b with a = b = 0: the values stay put.
  __asm__ volatile(
      "vxorpd %%ymm12, %%ymm12, %%ymm12\n\t"
      "vxorpd %%ymm13, %%ymm13, %%ymm13\n\t"
      "1:\n\t" VOK_TWELVE("vfmadd231pd") "dec %0\n\t"
      "jnz 1b\n\t"
      : "+r"(steps)
      :
      : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
        "xmm10", "xmm11", "xmm12", "xmm13", "cc");
}

// The same work as separate multiplies and adds: twelve products into
// ymm14/ymm15 alternately, each added to its own chain.
__attribute__((target("avx2"))) inline void mul_add_chains(long steps) {
  __asm__ volatile(
      "vxorpd %%ymm12, %%ymm12, %%ymm12\n\t"
      "vxorpd %%ymm13, %%ymm13, %%ymm13\n\t"
      "1:\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm14\n\t vaddpd %%ymm14, %%ymm0, %%ymm0\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm15\n\t vaddpd %%ymm15, %%ymm1, %%ymm1\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm14\n\t vaddpd %%ymm14, %%ymm2, %%ymm2\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm15\n\t vaddpd %%ymm15, %%ymm3, %%ymm3\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm14\n\t vaddpd %%ymm14, %%ymm4, %%ymm4\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm15\n\t vaddpd %%ymm15, %%ymm5, %%ymm5\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm14\n\t vaddpd %%ymm14, %%ymm6, %%ymm6\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm15\n\t vaddpd %%ymm15, %%ymm7, %%ymm7\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm14\n\t vaddpd %%ymm14, %%ymm8, %%ymm8\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm15\n\t vaddpd %%ymm15, %%ymm9, %%ymm9\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm14\n\t vaddpd %%ymm14, %%ymm10, %%ymm10\n\t"
      "vmulpd %%ymm12, %%ymm13, %%ymm15\n\t vaddpd %%ymm15, %%ymm11, %%ymm11\n\t"
      "dec %0\n\t"
      "jnz 1b\n\t"
      : "+r"(steps)
      :
      : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",
        "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "cc");
}

// Floating-point operations of one call: 2 per multiply-add and lane.
constexpr double peak_call_flops() {
  return 2.0 * 4 * kChains * static_cast<double>(kSteps);
}

}  // namespace vok_bench

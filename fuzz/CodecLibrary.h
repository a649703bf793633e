#pragma once
// How every target that makes codec-library decoders sets the library up.

namespace vistrel::fuzz {

// Installs, once per process, the kept-blocks allocator for every decoder made from then on and a
// message hook that formats each message and drops it; on every call, gives the input about to
// run its memory allowance afresh (see KeptBlocksMemory). A damaged stream makes the library warn on
// nearly every header it reads, and writing those warnings cost more than decoding a small input.
// VISTREL_FUZZ_LOG=1 in the environment keeps them on the console, for reading a finding.
void PrepareCodecLibrary();

}  // namespace vistrel::fuzz

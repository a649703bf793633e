#include "fuzz/FuzzSupport.h"

#include "kvr_syst/Kvr_Except.h"

namespace vistrel::fuzz {

namespace {
// Line 0 marks "no assertion since the watch began": the library never asserts on line 0.
void clearAssertRecord() { KVR_ASSERT_EXCEPTION clear("", "", 0); }
}  // namespace

AssertWatch::AssertWatch() { clearAssertRecord(); }

AssertWatch::~AssertWatch() {
    if (KVR_ASSERT_EXCEPTION::Line() != 0) {
        std::fprintf(stderr, "library assertion '%s' (%s:%d) raised by stream data\n",
                     KVR_ASSERT_EXCEPTION::Condition(), KVR_ASSERT_EXCEPTION::Source(),
                     KVR_ASSERT_EXCEPTION::Line());
        Finding("library assertion");
    }
}

}  // namespace vistrel::fuzz

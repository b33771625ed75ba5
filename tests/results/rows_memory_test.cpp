// The row-API suites on the in-memory back end (the command line's).
#include "results/memory_rows.h"
#include "support/row_suites.h"

namespace cs::test {
namespace {

struct MemoryBackend {
    using Rows = results::MemoryRows;
    Rows& rows() { return rows_; }
    Rows rows_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, RowSuite, MemoryBackend);

}  // namespace
}  // namespace cs::test

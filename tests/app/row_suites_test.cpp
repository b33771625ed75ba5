// The row-API suites (rebuild, selection, find, removal) on a real list
// view, as every back end runs them.
#include "support/row_suites.h"

#include "app/result_list_view.h"
#include "list_window.h"

namespace cs::test {
namespace {

class ListViewBackend {
public:
    using Rows = app::ListViewRows;
    ListViewBackend() : rows_(window_.List()) {}
    Rows& rows() { return rows_; }

private:
    ResultListWindow window_;
    Rows rows_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(ListView, RowSuite, testing::Types<ListViewBackend>);

}  // namespace
}  // namespace cs::test

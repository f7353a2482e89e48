// Keeps the support library non-empty before any support source exists.
namespace solane_test_support_anchor { int anchor = 0; }

// Property access and its run-time check: a missing owner or accessor is
// reported in the "Veltro runtime check" box and never called through.
#include "veltro.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "wintest.h"

namespace {

struct Owner {
  int value = 0;
  int gets = 0;
  int sets = 0;
  int get() const {
    ++const_cast<Owner*>(this)->gets;
    return value;
  }
  void set(int v) {
    ++sets;
    value = v;
  }
};

struct Report {
  std::string text, title;
  UINT flags;
};
std::vector<Report> g_reports;
int g_answer = IDIGNORE;

int RecordingReporter(const char* text, const char* title, UINT flags) {
  g_reports.push_back(Report{text, title, flags});
  return g_answer;
}

class PropertyCheck : public testing::Test {
 protected:
  void SetUp() override {
    g_reports.clear();
    g_answer = IDIGNORE;
    previous_ = VeltroSetReporter(RecordingReporter);
  }
  void TearDown() override { VeltroSetReporter(previous_); }
  VeltroReporter previous_ = nullptr;
};

std::string ExpressionOf(const std::string& text) {
  std::smatch m;
  std::regex re("Expression: ([^\r]*)\r\n");
  return std::regex_search(text, m, re) ? m[1].str() : std::string("<none>");
}

TEST_F(PropertyCheck, OnlyCompleteBindingsCallTheOwner) {
  Owner owner;
  Property<Owner, int> p(&owner, &Owner::get, &Owner::set);
  p = 42;
  EXPECT_EQ(owner.value, 42);
  EXPECT_EQ(static_cast<int>(p), 42);
  EXPECT_EQ(p(), 42);
  Owner other;
  Property<Owner, int> q(&other, &Owner::get, &Owner::set);
  q = p;  // assigns the value, keeps q bound to its own owner
  EXPECT_EQ(other.value, 42);
  EXPECT_EQ(q.m_cObject, &other);
  EXPECT_EQ(owner.sets, 1);
  EXPECT_EQ(other.sets, 1);
  EXPECT_TRUE(g_reports.empty());

  // Every way a binding can be incomplete, read and assigned, with Retry and
  // with Ignore: one report each, the owner untouched, reads value-initialised.
  struct Case {
    bool owner, get, set;
    const char* readExpression;   // nullptr: reading is fine
    const char* writeExpression;  // nullptr: assigning is fine
  } cases[] = {
      {false, true, true, "m_cObject != NULL", "m_cObject != NULL"},
      {false, false, false, "m_cObject != NULL", "m_cObject != NULL"},
      {true, false, true, "Get != NULL", nullptr},
      {true, true, false, nullptr, "Set != NULL"},
      {true, false, false, "Get != NULL", "Set != NULL"},
  };
  for (int answer : {IDIGNORE, IDRETRY}) {
    g_answer = answer;
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "owner " << c.owner << " get " << c.get << " set "
                                      << c.set << " answer " << answer);
      Owner owner;
      owner.value = 7;
      Property<Owner, int> p;
      if (c.owner) p.m_cObject = &owner;
      if (c.get) p.Get = &Owner::get;
      if (c.set) p.Set = &Owner::set;

      g_reports.clear();
      int read = p;
      if (c.readExpression) {
        ASSERT_EQ(g_reports.size(), 1u);
        EXPECT_EQ(ExpressionOf(g_reports[0].text), c.readExpression);
        EXPECT_EQ(read, 0);
        EXPECT_EQ(owner.gets, 0);
      } else {
        EXPECT_TRUE(g_reports.empty());
        EXPECT_EQ(read, 7);
      }

      g_reports.clear();
      p = 99;
      if (c.writeExpression) {
        ASSERT_EQ(g_reports.size(), 1u);
        EXPECT_EQ(ExpressionOf(g_reports[0].text), c.writeExpression);
        EXPECT_EQ(owner.sets, 0);
        EXPECT_EQ(owner.value, 7);
      } else {
        EXPECT_TRUE(g_reports.empty());
        EXPECT_EQ(owner.value, 99);
      }
      for (const Report& r : g_reports) {
        EXPECT_EQ(r.title, "Veltro runtime check");
        EXPECT_EQ(r.flags, static_cast<UINT>(MB_ABORTRETRYIGNORE | MB_ICONERROR | MB_DEFBUTTON3));
      }
    }
  }
}

TEST_F(PropertyCheck, ReportTextLayoutAndBoundedFormatting) {
  Property<Owner, std::string> unbound;
  std::string read = unbound;  // a string read also falls back safely
  EXPECT_EQ(read, "");
  ASSERT_EQ(g_reports.size(), 1u);
  const std::string& text = g_reports[0].text;
  char program[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, program, sizeof program);
  std::string head = std::string("Assertion failed!\r\n\r\nProgram: ") + program +
                     "\r\nFILE: veltro.cpp\r\nLINE: ";
  ASSERT_EQ(text.compare(0, head.size(), head), 0) << text;
  std::regex rest(
      "LINE: [1-9][0-9]*\r\n\r\nExpression: m_cObject != NULL\r\n\r\n"
      "Compiled on : [A-Z][a-z][a-z] [ 1-3][0-9] [0-9]{4} at [0-9]{2}:[0-9]{2}:[0-9]{2}"
      "\r\n\r\n\r\n[^\r\n]*manual[^\r\n]*$");
  EXPECT_TRUE(std::regex_search(text, rest)) << text;

  // The text is cut to any buffer size, always terminated, never past the end.
  char full[2048];
  size_t length = VeltroFormatCheck(full, sizeof full, "Get != NULL", 123);
  ASSERT_GT(length, 100u);
  ASSERT_EQ(length, strlen(full));
  for (size_t size : {size_t(1), size_t(2), size_t(17), size_t(100), length, length + 1,
                      length + 50}) {
    SCOPED_TRACE(size);
    std::vector<char> buffer(size + 16, '#');
    size_t n = VeltroFormatCheck(buffer.data(), size, "Get != NULL", 123);
    size_t expected = size - 1 < length ? size - 1 : length;
    EXPECT_EQ(n, expected);
    EXPECT_EQ(buffer[n], '\0');
    EXPECT_EQ(std::string(buffer.data(), n), std::string(full, n));
    for (size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#') << i;
  }
  EXPECT_EQ(VeltroFormatCheck(nullptr, 10, "x", 1), 0u);
  char one = 'x';
  EXPECT_EQ(VeltroFormatCheck(&one, 0, "x", 1), 0u);
  EXPECT_EQ(one, 'x');
  // An overlong expression cannot overflow the box text.
  std::string huge(5000, 'e');
  std::vector<char> buffer(300 + 16, '#');
  EXPECT_EQ(VeltroFormatCheck(buffer.data(), 300, huge.c_str(), 1), 299u);
  EXPECT_EQ(buffer[300], '#');
}

void AssignUnboundAndAbort() {
  g_answer = IDABORT;
  VeltroSetReporter(RecordingReporter);
  Property<Owner, int> unbound;
  unbound = 5;
  ExitProcess(0);  // not reached: Abort has ended the process
}

TEST_F(PropertyCheck, AbortEndsTheProcessWithFailure) {
  EXPECT_EXIT(AssignUnboundAndAbort(), testing::ExitedWithCode(3), "");
}

// The real box, answered from a second thread like a user would.
TEST(PropertyCheckBox, ShownAsMessageBoxAndIgnoreReturns) {
  wintest::MessageBoxResponder responder("Veltro runtime check", IDIGNORE);
  Owner owner;
  Property<Owner, int> readOnly(&owner, &Owner::get, nullptr);
  readOnly = 3;
  EXPECT_EQ(owner.sets, 0);
  EXPECT_TRUE(wintest::pollUntil([&] { return responder.count() == 1; }, 5000));
  EXPECT_NE(responder.lastText().find("Expression: Set != NULL"), std::string::npos)
      << responder.lastText();
}

}  // namespace

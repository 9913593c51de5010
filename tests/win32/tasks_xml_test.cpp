#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "platform/text.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace cu::win32 {
namespace {

using test::PathExists;
using test::RunningUnderWine;

// A task definition as the scheduler stores it, with a prefixed element and
// attribute, references, CDATA and a comment; `declaration` names its encoding.
std::wstring TaskDocument(const std::wstring& declaration) {
  return L"<?xml version=\"1.0\" encoding=\"" + declaration + L"\"?>\r\n"
         L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
         L"  <RegistrationInfo><Author>A &amp; B &lt;x&gt; &#233;</Author></RegistrationInfo>\r\n"
         L"  <!-- who runs it -->\r\n"
         L"  <Actions Context=\"Author\" xmlns:c=\"urn:cu\" c:kind=\"exec\">\r\n"
         L"    <c:Exec><Command>C:\\Program Files\\App\\app.exe</Command>"
         L"<Arguments>--run <![CDATA[\"<now>\" & ]]>/q</Arguments></c:Exec>\r\n"
         L"  </Actions>\r\n"
         L"</Task>\r\n";
}

std::string Utf16Bytes(const std::wstring& text) {
  std::string bytes("\xFF\xFE", 2);
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return bytes;
}

std::string Utf8Bytes(const std::wstring& text) {
  const int size = static_cast<int>(text.size());
  std::string bytes(static_cast<std::size_t>(
                        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr)),
                    '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), static_cast<int>(bytes.size()),
                        nullptr, nullptr);
  return "\xEF\xBB\xBF" + bytes;
}

void ExpectTaskTree(const XmlElement& task) {
  EXPECT_EQ(task.name, "Task");
  EXPECT_EQ(task.attributes, (std::vector<std::pair<std::string, std::string>>{{"version", "1.2"}}));
  ASSERT_EQ(task.children.size(), 2u);
  const XmlElement* info = task.Child("RegistrationInfo");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->ChildText("Author"), "A & B <x> " + ToCodePage(L"\u00e9", 1));

  const XmlElement* actions = task.Child("Actions");
  ASSERT_NE(actions, nullptr);
  EXPECT_EQ(actions->attributes,
            (std::vector<std::pair<std::string, std::string>>{{"Context", "Author"}, {"kind", "exec"}}));
  const XmlElement* exec = actions->Child("Exec");
  ASSERT_NE(exec, nullptr);
  EXPECT_EQ(exec->ChildText("Command"), "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(exec->ChildText("Arguments"), "--run \"<now>\" & /q");
}

TEST(Win32Xml, TaskDocumentsReadInUtf16AndUtf8GiveOneTree) {
  Win32XmlParser parser;
  std::optional<XmlElement> utf16 = parser.Parse(Utf16Bytes(TaskDocument(L"UTF-16")));
  ASSERT_TRUE(utf16.has_value());
  ASSERT_NO_FATAL_FAILURE(ExpectTaskTree(*utf16));
  std::optional<XmlElement> utf8 = parser.Parse(Utf8Bytes(TaskDocument(L"UTF-8")));
  ASSERT_TRUE(utf8.has_value());
  ASSERT_NO_FATAL_FAILURE(ExpectTaskTree(*utf8));
}

TEST(Win32Xml, DocumentsCutShortMalformedTypedOrTooLargeAreRefused) {
  Win32XmlParser parser;
  const std::string whole = Utf8Bytes(TaskDocument(L"UTF-8"));
  const std::size_t inside_command = whole.find("Program Files");
  ASSERT_NE(inside_command, std::string::npos);
  // Wine's reader never reaches an end on these by itself.
  EXPECT_FALSE(parser.Parse(whole.substr(0, inside_command)).has_value());
  EXPECT_FALSE(parser.Parse(whole.substr(0, whole.find("</Task>"))).has_value());
  const std::wstring wide = TaskDocument(L"UTF-16");
  EXPECT_FALSE(parser.Parse(Utf16Bytes(wide.substr(0, wide.find(L"</Actions>")))).has_value());

  EXPECT_FALSE(parser.Parse("<!DOCTYPE Task [<!ENTITY e \"x\">]><Task>&e;</Task>").has_value());
  EXPECT_FALSE(parser.Parse("<!DOCTYPE Task><Task/>").has_value());
  EXPECT_FALSE(parser.Parse("<Task><A></B></Task>").has_value());
  EXPECT_FALSE(parser.Parse("<Task/><Task/>").has_value());
  EXPECT_FALSE(parser.Parse("<Task a='&unknown;'/>").has_value());
  // Wine's reader keeps an undeclared reference in text as it stands.
  if (!RunningUnderWine()) {
    EXPECT_FALSE(parser.Parse("<Task>&unknown;</Task>").has_value());
  }
  EXPECT_FALSE(parser.Parse("").has_value());

  // Limits: elements, nesting (the tree would overflow the stack when
  // freed) and bytes; just within the element limit still reads.
  std::string many = "<r>";
  for (std::size_t i = 1; i < kMaxXmlElements; ++i) many += "<a/>";
  EXPECT_EQ(parser.Parse(many + "</r>").value_or(XmlElement{}).children.size(), kMaxXmlElements - 1);
  EXPECT_FALSE(parser.Parse(many + "<a/></r>").has_value());
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  EXPECT_FALSE(parser.Parse(deep).has_value());
  for (int i = 0; i < 100000; ++i) deep += "</a>";
  EXPECT_FALSE(parser.Parse(deep).has_value());
  const std::string padded = "<r>" + std::string(kMaxXmlBytes - 7, ' ') + "</r>";
  EXPECT_TRUE(parser.Parse(padded).has_value());
  EXPECT_FALSE(parser.Parse(padded + " ").has_value());
}

// A task file in the task store, as Wine's scheduler reads its tasks from.
constexpr char kProbeTask[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
    "  <Settings><Enabled>true</Enabled></Settings>\r\n"
    "  <Actions><Exec><Command>C:\\windows\\system32\\cmd.exe</Command></Exec></Actions>\r\n"
    "</Task>\r\n";

TEST(Win32Tasks, ATaskOfTheStoreIsReadAndDeleted) {
  if (!RunningUnderWine()) {
    GTEST_SKIP() << "Windows registers a task only through the scheduler; a file in the store is not one";
  }
  Win32Environment environment;
  const std::string store = environment.SystemDirectory() + "\\Tasks\\";
  const std::string folder = store + "CuTest";
  const std::string file = folder + "\\Probe";
  ::CreateDirectoryA(store.c_str(), nullptr);
  ASSERT_TRUE(cu::test_kit::RemoveTree(folder));
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr)) << folder;
  ScopeExit remove([&] { (void)cu::test_kit::RemoveTree(folder); });
  ASSERT_TRUE(cu::test_kit::WriteWholeFile(file, kProbeTask));

  Win32TaskScheduler scheduler;
  // The list holds the task where the scheduler can enumerate; Wine's cannot
  // count a collection and says so.
  const std::optional<std::vector<RegisteredTask>> all = scheduler.AllTasks("\\Microsoft\\Windows");
  if (all) {
    EXPECT_TRUE(std::any_of(all->begin(), all->end(),
                            [](const RegisteredTask& task) { return task.path == "\\CuTest\\Probe"; }));
  }
  EXPECT_EQ(scheduler.TaskEnabled("\\CuTest\\Probe"), true);
  EXPECT_EQ(scheduler.TaskEnabled("\\CuTest\\Absent"), std::nullopt);
  // Wine takes the switch and keeps the definition's setting.
  EXPECT_EQ(scheduler.SetTaskEnabled("\\CuTest\\Probe", true), kErrorSuccess);
  EXPECT_EQ(scheduler.SetTaskEnabled("\\CuTest\\Absent", false), kErrorFileNotFound);

  EXPECT_EQ(scheduler.DeleteTask("\\CuTest\\Absent"), kErrorFileNotFound);
  EXPECT_EQ(scheduler.DeleteTask("\\CuTest\\Probe"), kErrorSuccess);
  EXPECT_FALSE(PathExists(file));
  EXPECT_EQ(scheduler.TaskEnabled("\\CuTest\\Probe"), std::nullopt);
  EXPECT_NE(scheduler.DeleteTask("\\CuTest\\Probe"), kErrorSuccess);
}

TEST(Win32Tasks, WithoutComNothingIsReadAndTheErrorIsSaid) {
  Win32TaskScheduler scheduler;
  // A thread of its own, on which COM was never initialised.
  std::optional<std::vector<RegisteredTask>> all;
  std::optional<bool> enabled;
  uint32_t deletion = kErrorSuccess;
  std::thread worker([&] {
    all = scheduler.AllTasks("");
    enabled = scheduler.TaskEnabled("\\Any");
    deletion = scheduler.DeleteTask("\\Any");
  });
  worker.join();
  EXPECT_FALSE(all.has_value());
  EXPECT_FALSE(enabled.has_value());
  EXPECT_EQ(deletion, static_cast<uint32_t>(CO_E_NOTINITIALIZED));
}

}  // namespace
}  // namespace cu::win32

#include "runtime/core/value.h"

#include "platform/runtime/platform.h"

ByteBlockHeader EmptyByteBlock = {1, 0};

// "内存不足" (insufficient memory)
const char kOutOfMemoryText[] = "\xc4\xda\xb4\xe6\xb2\xbb\xd7\xe3";
const char kErrorCaption[] = "error";

namespace {

// Written once at start-up (or on first use) and kept until the end.
platform::HeapHandle heap = nullptr;
void (*exitHook)() = nullptr;

platform::HeapHandle Heap() {
    if (!heap) heap = platform::ProcessHeap();
    return heap;
}

// The messages of fatal errors 1 to 11, in code page 936.
const char* const kFatalMessages[] = {
    // 1 "数组成员引用下标超出定义范围"
    "\xca\xfd\xd7\xe9\xb3\xc9\xd4\xb1\xd2\xfd\xd3\xc3\xcf\xc2\xb1\xea\xb3\xac\xb3\xf6\xb6\xa8\xd2\xe5\xb7\xb6\xce\xa7",
    // 2 "未得到所需要的数值型数据"
    "\xce\xb4\xb5\xc3\xb5\xbd\xcb\xf9\xd0\xe8\xd2\xaa\xb5\xc4\xca\xfd\xd6\xb5\xd0\xcd\xca\xfd\xbe\xdd",
    // 3 "引用数组成员时维数不为1且不等于该数组目前所具有的维数"
    "\xd2\xfd\xd3\xc3\xca\xfd\xd7\xe9\xb3\xc9\xd4\xb1\xca\xb1\xce\xac\xca\xfd\xb2\xbb\xce\xaa\x31\xc7\xd2\xb2\xbb\xb5"
    "\xc8\xd3\xda\xb8\xc3\xca\xfd\xd7\xe9\xc4\xbf\xc7\xb0\xcb\xf9\xbe\xdf\xd3\xd0\xb5\xc4\xce\xac\xca\xfd",
    // 4 "数组成员引用下标必须大于等于1"
    "\xca\xfd\xd7\xe9\xb3\xc9\xd4\xb1\xd2\xfd\xd3\xc3\xcf\xc2\xb1\xea\xb1\xd8\xd0\xeb\xb4\xf3\xd3\xda\xb5\xc8\xd3\xda\x31",
    // 5 "数据或数组类型不匹配"
    "\xca\xfd\xbe\xdd\xbb\xf2\xca\xfd\xd7\xe9\xc0\xe0\xd0\xcd\xb2\xbb\xc6\xa5\xc5\xe4",
    // 6 "调用DLL命令后发现堆栈错误，通常是DLL参数数目不正确"
    "\xb5\xf7\xd3\xc3\x44\x4c\x4c\xc3\xfc\xc1\xee\xba\xf3\xb7\xa2\xcf\xd6\xb6\xd1\xd5\xbb\xb4\xed\xce\xf3\xa3\xac\xcd"
    "\xa8\xb3\xa3\xca\xc7\x44\x4c\x4c\xb2\xce\xca\xfd\xca\xfd\xc4\xbf\xb2\xbb\xd5\xfd\xc8\xb7",
    // 7 "子语句参数未返回数据或者返回了非系统基本类型或数组型数据"
    "\xd7\xd3\xd3\xef\xbe\xe4\xb2\xce\xca\xfd\xce\xb4\xb7\xb5\xbb\xd8\xca\xfd\xbe\xdd\xbb\xf2\xd5\xdf\xb7\xb5\xbb\xd8"
    "\xc1\xcb\xb7\xc7\xcf\xb5\xcd\xb3\xbb\xf9\xb1\xbe\xc0\xe0\xd0\xcd\xbb\xf2\xca\xfd\xd7\xe9\xd0\xcd\xca\xfd\xbe\xdd",
    // 8 "被比较数据只能使用等于或不等于命令比较"
    "\xb1\xbb\xb1\xc8\xbd\xcf\xca\xfd\xbe\xdd\xd6\xbb\xc4\xdc\xca\xb9\xd3\xc3\xb5\xc8\xd3\xda\xbb\xf2\xb2\xbb\xb5\xc8"
    "\xd3\xda\xc3\xfc\xc1\xee\xb1\xc8\xbd\xcf",
    // 9 "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围"
    "\xa1\xb0\xb6\xe0\xcf\xee\xd1\xa1\xd4\xf1\xa1\xb1\xc3\xfc\xc1\xee\xb5\xc4\xcb\xf7\xd2\xfd\xd6\xb5\xb2\xce\xca\xfd"
    "\xd0\xa1\xd3\xda\xc1\xe3\xbb\xf2\xb3\xac\xb3\xf6\xc1\xcb\xcb\xf9\xcc\xe1\xb9\xa9\xb2\xce\xca\xfd\xb1\xed\xb7\xb6"
    "\xce\xa7",
    // 10 "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零"
    "\xa1\xb0\xd6\xd8\xb6\xa8\xd2\xe5\xca\xfd\xd7\xe9\xa1\xb1\xc3\xfc\xc1\xee\xb5\xc4\xca\xfd\xd7\xe9\xce\xac\xb6\xa8"
    "\xd2\xe5\xb2\xce\xca\xfd\xd6\xb5\xb1\xd8\xd0\xeb\xb4\xf3\xd3\xda\xc1\xe3\xbb\xf2\xb5\xa5\xce\xac\xca\xb1\xb4\xf3"
    "\xd3\xda\xb5\xc8\xd3\xda\xc1\xe3",
    // 11 "所提供参数的数据类型不符合要求"
    "\xcb\xf9\xcc\xe1\xb9\xa9\xb2\xce\xca\xfd\xb5\xc4\xca\xfd\xbe\xdd\xc0\xe0\xd0\xcd\xb2\xbb\xb7\xfb\xba\xcf\xd2\xaa"
    "\xc7\xf3",
};

}  // namespace

void StartRuntime() { heap = platform::ProcessHeap(); }

void OutOfMemory() {
    platform::ShowErrorBox(kOutOfMemoryText, kErrorCaption);
    ExitProgram(0);
}

void* AllocZeroed(std::size_t size) {
    void* p = platform::HeapTake(Heap(), size, true);
    if (!p) OutOfMemory();
    return p;
}

void* ResizeBlock(void* block, std::size_t size) {
    void* p = platform::HeapResize(Heap(), block, size);
    if (!p) OutOfMemory();
    return p;
}

void ReleaseBlock(const void* p) {
    /* null or a small integer? */
    if (reinterpret_cast<std::uintptr_t>(p) <= 0xFFFF) return;
    platform::ReleaseIfHeapBlock(Heap(), const_cast<void*>(p));
}

const char* FatalMessage(int code) {
    constexpr int kCount = sizeof kFatalMessages / sizeof kFatalMessages[0];
    return (code >= 1 && code <= kCount) ? kFatalMessages[code - 1] : "";
}

void FatalError(int code) {
    char report[256];
    platform::FormatFatalReport(report, code, FatalMessage(code));
    platform::ShowErrorBox(report, kErrorCaption);
    ExitProgram(0);
}

void ExitProgram(int code) {
    if (exitHook) exitHook();
    platform::EndProcess(code);
}

void RegisterExitHook(void (*hook)()) { exitHook = hook; }

std::int64_t ArrayElements(ArrayBlock array, const unsigned char** first) {
    *first = nullptr;
    if (!array) return 0;
    auto* words = static_cast<const std::int32_t*>(array);
    std::int32_t dims = words[0];
    if (dims <= 0) return 0;
    std::int64_t count = 1;
    for (std::int32_t i = 1; i <= dims; ++i) count *= words[i];
    *first = reinterpret_cast<const unsigned char*>(words + 1 + dims);
    return count;
}

unsigned char ByteElement(ByteBlock block, std::int64_t index) {
    const unsigned char* first = nullptr;
    std::int64_t count = ArrayElements(block, &first);
    if (index - 1 < 0) FatalError(4);
    if (index - 1 >= count) FatalError(1);
    return first[index - 1];
}

#include "diagnostics/Minidump.h"

#include <cpuid.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Stream types of the format, and the Linux streams in the range that Linux dumps use.
enum StreamType : uint32_t {
  kThreadList = 3, kModuleList = 4, kMemoryList = 5, kException = 6, kSystemInfo = 7,
  kLinuxProcStatus = 0x47670004, kLinuxCmdLine = 0x47670006, kLinuxAuxv = 0x47670008, kLinuxMaps = 0x47670009,
};
constexpr uint32_t kSignature = 0x504d444d;     // "MDMP"
constexpr uint32_t kFormatVersion = 0xa793;
constexpr uint32_t kElfBuildIdSignature = 0x4270454c;  // "LEpB": the code-view record of an ELF build id
constexpr uint16_t kArchitectureAmd64 = 9;
constexpr uint32_t kPlatformLinux = 0x8201;
constexpr size_t kContextSize = 1232;
constexpr uint32_t kContextAmd64 = 0x00100000;
constexpr uint32_t kContextControlIntegerSegmentsFloat = kContextAmd64 | 0xf;
constexpr size_t kStreamCount = 9;
constexpr size_t kHeaderSize = 32;

constexpr uint64_t kStackLimit = 256 << 10;          // per thread
constexpr uint64_t kRedZone = 128;                   // below the stack pointer, still the thread's
constexpr uint64_t kReferencedAround = 256;          // bytes on each side of a pointed-to address
constexpr uint64_t kReferencedBudget = 16 << 20;
constexpr uint64_t kDataLimit = 64 << 20;
constexpr uint64_t kRegionLimit = 256ull << 20;      // larger regions are reservations, not data
constexpr uint64_t kFullBudget = 2ull << 30;         // keeps every offset within 32 bits
constexpr uint64_t kOverflowReach = 64 << 10;

// Little-endian bytes of one structure.
class Bytes {
 public:
  Bytes& U8(uint8_t v) { data_.push_back(v); return *this; }
  Bytes& U16(uint16_t v) { return Put(v, 2); }
  Bytes& U32(uint32_t v) { return Put(v, 4); }
  Bytes& U64(uint64_t v) { return Put(v, 8); }
  Bytes& Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    data_.insert(data_.end(), b, b + n);
    return *this;
  }
  Bytes& Zeros(size_t n) { data_.resize(data_.size() + n, 0); return *this; }
  void SetU16(size_t at, uint16_t v) { Set(at, v, 2); }
  void SetU32(size_t at, uint32_t v) { Set(at, v, 4); }
  void SetU64(size_t at, uint64_t v) { Set(at, v, 8); }
  void SetRaw(size_t at, const void* p, size_t n) { std::memcpy(data_.data() + at, p, n); }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  Bytes& Put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) data_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  void Set(size_t at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) data_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  std::vector<uint8_t> data_;
};

struct Location {
  uint32_t size = 0, rva = 0;
};

// The dump file, written front to back; the header and directory go in last.
class DumpFile {
 public:
  explicit DumpFile(int fd) : fd_(fd) {}
  Location Append(const void* data, size_t size) {
    Align();
    Location at{static_cast<uint32_t>(size), static_cast<uint32_t>(offset_)};
    WriteAt(offset_, data, size);
    offset_ += size;
    if (offset_ > UINT32_MAX && error_ == 0) error_ = EFBIG;
    return at;
  }
  Location Append(const Bytes& bytes) { return Append(bytes.Data().data(), bytes.Data().size()); }
  void Reserve(size_t size) { offset_ = size; }
  void WriteAt(uint64_t at, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0 && error_ == 0) {
      const ssize_t n = pwrite(fd_, p, size, static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? errno : EIO;
        break;
      }
      p += n, at += static_cast<uint64_t>(n), size -= static_cast<size_t>(n);
    }
  }
  int Error() const { return error_; }

 private:
  void Align() {
    static const uint8_t zeros[8] = {};
    if (offset_ % 8) WriteAt(offset_, zeros, 8 - offset_ % 8), offset_ += 8 - offset_ % 8;
  }
  int fd_;
  uint64_t offset_ = 0;
  int error_ = 0;
};

std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<uint8_t>(text[i]);
    const int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    uint32_t code = length == 1 ? c : length == 2 ? c & 0x1f : length == 3 ? c & 0x0f : c & 0x07;
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      valid = (next & 0xc0) == 0x80;
      code = code << 6 | (next & 0x3f);
    }
    if (!valid) {
      out += u'\ufffd';
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xd800 + (code >> 10));
      out += static_cast<char16_t>(0xdc00 + (code & 0x3ff));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

Location AppendString(DumpFile& file, const std::string& text) {
  const std::u16string wide = Utf16(text);
  Bytes bytes;
  bytes.U32(static_cast<uint32_t>(wide.size() * 2));
  for (const char16_t c : wide) bytes.U16(c);
  bytes.U16(0);
  return file.Append(bytes);
}

Bytes Context(const CrashRegisters& r) {
  Bytes c;
  c.Zeros(kContextSize);
  c.SetU32(0x30, kContextControlIntegerSegmentsFloat);
  uint32_t mxcsr = 0;
  if (r.hasFxsave) std::memcpy(&mxcsr, r.fxsave + 24, 4);
  c.SetU32(0x34, mxcsr);
  const uint16_t segments[] = {r.cs, r.ds, r.es, r.fs, r.gs, r.ss};
  for (size_t i = 0; i < 6; ++i) c.SetU16(0x38 + 2 * i, segments[i]);
  c.SetU32(0x44, static_cast<uint32_t>(r.eflags));
  const uint64_t integers[] = {r.rax, r.rcx, r.rdx, r.rbx, r.rsp, r.rbp, r.rsi, r.rdi, r.r8,
                               r.r9,  r.r10, r.r11, r.r12, r.r13, r.r14, r.r15, r.rip};
  for (size_t i = 0; i < 17; ++i) c.SetU64(0x78 + 8 * i, integers[i]);
  if (r.hasFxsave) c.SetRaw(0x100, r.fxsave, sizeof(r.fxsave));
  return c;
}

// --- Memory the dump holds ----------------------------------------------------------------

struct Range {
  uint64_t start, end;
};

class MemoryPlan {
 public:
  void Add(uint64_t start, uint64_t end) {
    if (end > start) ranges_.push_back({start, end});
  }
  std::vector<Range> Merged() const {
    std::vector<Range> sorted = ranges_;
    std::sort(sorted.begin(), sorted.end(), [](const Range& a, const Range& b) { return a.start < b.start; });
    std::vector<Range> merged;
    for (const Range& r : sorted) {
      if (!merged.empty() && r.start <= merged.back().end) merged.back().end = std::max(merged.back().end, r.end);
      else merged.push_back(r);
    }
    return merged;
  }

 private:
  std::vector<Range> ranges_;
};

bool IsKernelArea(const MappedRegion& region) { return region.path == "[vvar]" || region.path == "[vsyscall]"; }

// The part of the thread's stack from just below its stack pointer upwards, bounded.
std::optional<Range> StackRange(const CrashedProcess& process, uint64_t sp) {
  const uint64_t from = sp > kRedZone ? sp - kRedZone : 0;
  const MappedRegion* region = process.RegionOf(sp);
  if (!region || !region->readable) {
    // The pointer went past the stack's end: the stack is the next region above it.
    region = nullptr;
    for (const MappedRegion& r : process.Regions())
      if (r.start > sp && r.readable && r.start - sp <= kOverflowReach) {
        region = &r;
        break;
      }
    if (!region) return std::nullopt;
  }
  const uint64_t start = std::max(from, region->start);
  return Range{start, std::min(region->end, start + kStackLimit)};
}

void AddReferenced(const CrashedProcess& process, uint64_t value, MemoryPlan& plan, uint64_t& budget) {
  const MappedRegion* region = process.RegionOf(value);
  if (!region || !region->readable || IsKernelArea(*region) || budget < 2 * kReferencedAround) return;
  const uint64_t start = std::max(region->start, value > kReferencedAround ? value - kReferencedAround : 0);
  const uint64_t end = std::min(region->end, value + kReferencedAround);
  plan.Add(start, end);
  budget -= end - start;
}

void AddExecutableData(const CrashedProcess& process, MemoryPlan& plan) {
  const std::string executable = process.ExecutablePath();
  const std::vector<MappedRegion>& regions = process.Regions();
  uint64_t budget = kDataLimit;
  for (size_t i = 0; i < regions.size(); ++i) {
    if (regions[i].path != executable || !regions[i].writable || !regions[i].readable) continue;
    // The zero-filled data (.bss) follows the file's writable part as anonymous memory.
    const bool bssFollows = i + 1 < regions.size() && regions[i + 1].path.empty() && regions[i + 1].writable &&
                            regions[i + 1].start == regions[i].end;
    const uint64_t end = bssFollows ? regions[i + 1].end : regions[i].end;
    const uint64_t take = std::min(budget, end - regions[i].start);
    plan.Add(regions[i].start, regions[i].start + take);
    budget -= take;
  }
}

void AddAllReadable(const CrashedProcess& process, MemoryPlan& plan) {
  uint64_t budget = kFullBudget;
  for (const MappedRegion& region : process.Regions()) {
    const uint64_t size = region.end - region.start;
    if (!region.readable || IsKernelArea(region) || size > kRegionLimit || size > budget) continue;
    plan.Add(region.start, region.end);
    budget -= size;
  }
}

// --- Modules ------------------------------------------------------------------------------

struct Module {
  uint64_t base = 0, size = 0;
  std::string path;
  std::vector<uint8_t> buildId;
};

template <typename T>
T Field(const std::vector<uint8_t>& bytes, size_t at) {
  T value = 0;
  if (at + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + at, sizeof(T));
  return value;
}

std::vector<uint8_t> BuildIdInNotes(const std::vector<uint8_t>& notes) {
  constexpr uint32_t kNoteGnuBuildId = 3;
  size_t at = 0;
  while (at + 12 <= notes.size()) {
    const uint32_t nameSize = Field<uint32_t>(notes, at), descSize = Field<uint32_t>(notes, at + 4);
    const uint32_t type = Field<uint32_t>(notes, at + 8);
    const size_t name = at + 12, desc = name + ((static_cast<size_t>(nameSize) + 3) & ~size_t{3});
    const size_t next = desc + ((static_cast<size_t>(descSize) + 3) & ~size_t{3});
    if (nameSize > notes.size() || descSize > notes.size() || next > notes.size()) break;
    if (type == kNoteGnuBuildId && nameSize == 4 && std::memcmp(notes.data() + name, "GNU", 4) == 0)
      return std::vector<uint8_t>(notes.begin() + desc, notes.begin() + desc + descSize);
    at = next;
  }
  return {};
}

// The build id from the module's notes as they lie in the process's memory: the file on disk
// may have been replaced since it was loaded.
std::vector<uint8_t> BuildIdOf(const CrashedProcess& process, uint64_t base) {
  const std::vector<uint8_t> header = process.Read(base, 64);
  if (header.size() < 64 || header[4] != 2 || header[5] != 1) return {};
  const uint64_t phoff = Field<uint64_t>(header, 0x20);
  const uint16_t phentsize = Field<uint16_t>(header, 0x36), phnum = Field<uint16_t>(header, 0x38);
  if (phentsize != 56 || phnum == 0 || phnum > 512 || phoff > (1 << 20)) return {};
  const std::vector<uint8_t> headers = process.Read(base + phoff, size_t{phnum} * phentsize);
  if (headers.size() < size_t{phnum} * phentsize) return {};
  uint64_t firstLoad = UINT64_MAX;
  for (size_t i = 0; i < phnum; ++i)
    if (Field<uint32_t>(headers, i * 56) == 1) firstLoad = std::min(firstLoad, Field<uint64_t>(headers, i * 56 + 0x10));
  if (firstLoad == UINT64_MAX) return {};
  const uint64_t bias = base - (firstLoad & ~uint64_t{0xfff});
  for (size_t i = 0; i < phnum; ++i) {
    if (Field<uint32_t>(headers, i * 56) != 4) continue;
    const uint64_t address = bias + Field<uint64_t>(headers, i * 56 + 0x10);
    const uint64_t size = std::min<uint64_t>(Field<uint64_t>(headers, i * 56 + 0x20), 64 << 10);
    std::vector<uint8_t> id = BuildIdInNotes(process.Read(address, size));
    if (!id.empty()) return id;
  }
  return {};
}

std::vector<Module> ModulesOf(const CrashedProcess& process) {
  std::vector<Module> modules;
  const std::vector<MappedRegion>& regions = process.Regions();
  for (size_t i = 0; i < regions.size(); ++i) {
    const MappedRegion& first = regions[i];
    if (first.path.empty() || first.path[0] != '/' || first.offset != 0 || !first.readable) continue;
    const std::vector<uint8_t> magic = process.Read(first.start, 4);
    if (magic.size() < 4 || std::memcmp(magic.data(), "\x7f" "ELF", 4) != 0) continue;
    uint64_t end = first.end;
    for (size_t j = i + 1; j < regions.size() && !(regions[j].path == first.path && regions[j].offset == 0); ++j)
      if (regions[j].path == first.path) end = regions[j].end;
    modules.push_back({first.start, end - first.start, first.path, BuildIdOf(process, first.start)});
  }
  return modules;
}

// --- Streams ------------------------------------------------------------------------------

struct DirectoryEntry {
  uint32_t type;
  Location location;
};

Location FindInMemory(const std::vector<Range>& ranges, const std::vector<Location>& data, uint64_t start,
                      uint64_t end) {
  for (size_t i = 0; i < ranges.size(); ++i) {
    if (start < ranges[i].start || start >= ranges[i].start + data[i].size) continue;
    const uint64_t available = ranges[i].start + data[i].size - start;
    return {static_cast<uint32_t>(std::min(available, end - start)),
            static_cast<uint32_t>(data[i].rva + (start - ranges[i].start))};
  }
  return {};
}

Location SystemInfo(DumpFile& file) {
  utsname name{};
  uname(&name);
  unsigned major = 0, minor = 0, build = 0;
  std::sscanf(name.release, "%u.%u.%u", &major, &minor, &build);
  const Location description =
      AppendString(file, std::string(name.sysname) + " " + name.release + " " + name.version + " " + name.machine);
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  uint32_t vendor[3] = {};
  if (__get_cpuid(0, &eax, &ebx, &ecx, &edx)) vendor[0] = ebx, vendor[1] = edx, vendor[2] = ecx;
  unsigned version = 0, features = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) version = eax, features = edx;
  const unsigned family = (version >> 8 & 0xf) + (version >> 20 & 0xff);
  const unsigned model = (version >> 4 & 0xf) | (version >> 12 & 0xf0);
  const long processors = sysconf(_SC_NPROCESSORS_CONF);
  Bytes info;
  info.U16(kArchitectureAmd64).U16(static_cast<uint16_t>(family)).U16(static_cast<uint16_t>(model << 8 | (version & 0xf)));
  info.U8(static_cast<uint8_t>(std::clamp<long>(processors, 1, 255))).U8(0);
  info.U32(major).U32(minor).U32(build).U32(kPlatformLinux).U32(description.rva).U16(0).U16(0);
  info.U32(vendor[0]).U32(vendor[1]).U32(vendor[2]).U32(version).U32(features).U32(0);
  return file.Append(info);
}

Location RawStream(DumpFile& file, const std::string& text) { return file.Append(text.data(), text.size()); }

}  // namespace

int MinidumpTypeOf(int dumpMode) {
  switch (dumpMode) {
    case 1: return 0x1;
    case 2: return 0x40;
    case 3: return 0x2;
    default: return 0x0;
  }
}

bool IsStackOverflow(const CrashedProcess& process, uint64_t stackPointer, uint64_t faultAddress) {
  const uint64_t distance = faultAddress > stackPointer ? faultAddress - stackPointer : stackPointer - faultAddress;
  if (distance > kOverflowReach) return false;
  const MappedRegion* region = process.RegionOf(faultAddress);
  return region == nullptr || !region->readable;
}

bool WriteMinidump(int fd, const CrashedProcess& process, const MinidumpCrash& crash, int dumpMode,
                   int& systemError) {
  DumpFile file(fd);
  file.Reserve(kHeaderSize + kStreamCount * 12);
  std::vector<DirectoryEntry> directory;

  // The threads' registers; the crashed thread's are those of the fault, not of its handler.
  std::vector<CrashRegisters> registers;
  for (const StoppedThread& thread : process.Threads()) {
    CrashRegisters r = thread.registers;
    if (thread.tid == crash.tid && crash.registers) {
      const uint64_t fsBase = r.fsBase;
      r = *crash.registers;
      r.fsBase = fsBase;
    }
    registers.push_back(r);
  }

  // The memory: stacks always, more by the mode.
  MemoryPlan plan;
  std::vector<std::optional<Range>> stacks;
  for (const CrashRegisters& r : registers) {
    stacks.push_back(StackRange(process, r.rsp));
    if (stacks.back()) plan.Add(stacks.back()->start, stacks.back()->end);
  }
  const int type = MinidumpTypeOf(dumpMode);
  if (type == 0x1) AddExecutableData(process, plan);
  if (type == 0x2) AddAllReadable(process, plan);
  if (type == 0x40) {
    uint64_t budget = kReferencedBudget;
    for (size_t i = 0; i < registers.size(); ++i) {
      const CrashRegisters& r = registers[i];
      for (const uint64_t value : {r.rax, r.rbx, r.rcx, r.rdx, r.rsi, r.rdi, r.rbp, r.r8, r.r9, r.r10, r.r11, r.r12,
                                   r.r13, r.r14, r.r15, r.rip})
        AddReferenced(process, value, plan, budget);
      if (!stacks[i]) continue;
      const std::vector<uint8_t> stack = process.Read(stacks[i]->start, stacks[i]->end - stacks[i]->start);
      for (size_t at = (8 - stacks[i]->start % 8) % 8; at + 8 <= stack.size(); at += 8)
        AddReferenced(process, Field<uint64_t>(stack, at), plan, budget);
    }
  }
  std::vector<Range> ranges;
  std::vector<Location> rangeData;
  for (const Range& range : plan.Merged()) {
    // Read in pieces, so that a full dump never holds more than one piece in memory.
    constexpr uint64_t kPiece = 4 << 20;
    Location whole{0, 0};
    for (uint64_t at = range.start; at < range.end; at += kPiece) {
      const std::vector<uint8_t> bytes = process.Read(at, std::min(kPiece, range.end - at));
      if (bytes.empty()) break;
      const Location piece = file.Append(bytes.data(), bytes.size());
      if (whole.size == 0) whole.rva = piece.rva;
      whole.size += piece.size;
      if (bytes.size() < std::min(kPiece, range.end - at)) break;
    }
    if (whole.size == 0) continue;
    ranges.push_back(range);
    rangeData.push_back(whole);
  }

  // Threads.
  std::vector<Location> contexts;
  for (const CrashRegisters& r : registers) contexts.push_back(file.Append(Context(r)));
  Bytes threads;
  threads.U32(static_cast<uint32_t>(registers.size()));
  for (size_t i = 0; i < registers.size(); ++i) {
    const Location stack = stacks[i] ? FindInMemory(ranges, rangeData, stacks[i]->start, stacks[i]->end) : Location{};
    threads.U32(static_cast<uint32_t>(process.Threads()[i].tid)).U32(0).U32(0).U32(0).U64(registers[i].fsBase);
    threads.U64(stack.size ? stacks[i]->start : 0).U32(stack.size).U32(stack.rva);
    threads.U32(contexts[i].size).U32(contexts[i].rva);
  }
  directory.push_back({kThreadList, file.Append(threads)});

  // Modules.
  const std::vector<Module> modules = ModulesOf(process);
  Bytes moduleList;
  moduleList.U32(static_cast<uint32_t>(modules.size()));
  for (const Module& module : modules) {
    const Location name = AppendString(file, module.path);
    Location codeView{};
    if (!module.buildId.empty()) {
      Bytes record;
      record.U32(kElfBuildIdSignature).Raw(module.buildId.data(), module.buildId.size());
      codeView = file.Append(record);
    }
    moduleList.U64(module.base).U32(static_cast<uint32_t>(std::min<uint64_t>(module.size, UINT32_MAX))).U32(0).U32(0);
    moduleList.U32(name.rva).Zeros(52).U32(codeView.size).U32(codeView.rva).U32(0).U32(0).U64(0).U64(0);
  }
  directory.push_back({kModuleList, file.Append(moduleList)});

  Bytes memoryList;
  memoryList.U32(static_cast<uint32_t>(ranges.size()));
  for (size_t i = 0; i < ranges.size(); ++i) memoryList.U64(ranges[i].start).U32(rangeData[i].size).U32(rangeData[i].rva);
  directory.push_back({kMemoryList, file.Append(memoryList)});

  // The exception: Linux dumps carry the signal as its code and si_code as its flags.
  Location crashContext{};
  for (size_t i = 0; i < registers.size(); ++i)
    if (process.Threads()[i].tid == crash.tid) crashContext = contexts[i];
  Bytes exception;
  exception.U32(static_cast<uint32_t>(crash.tid)).U32(0).U32(static_cast<uint32_t>(crash.signal));
  exception.U32(static_cast<uint32_t>(crash.code)).U64(0).U64(crash.faultAddress).U32(0).U32(0).Zeros(15 * 8);
  exception.U32(crashContext.size).U32(crashContext.rva);
  directory.push_back({kException, file.Append(exception)});

  directory.push_back({kSystemInfo, SystemInfo(file)});
  directory.push_back({kLinuxProcStatus, RawStream(file, process.ProcFile("status"))});
  directory.push_back({kLinuxCmdLine, RawStream(file, process.ProcFile("cmdline"))});
  directory.push_back({kLinuxAuxv, RawStream(file, process.ProcFile("auxv"))});
  directory.push_back({kLinuxMaps, RawStream(file, process.ProcFile("maps"))});

  Bytes head;
  head.U32(kSignature).U32(kFormatVersion).U32(static_cast<uint32_t>(directory.size())).U32(kHeaderSize);
  head.U32(0).U32(crash.timeStamp).U64(static_cast<uint64_t>(type));
  for (const DirectoryEntry& entry : directory) head.U32(entry.type).U32(entry.location.size).U32(entry.location.rva);
  file.WriteAt(0, head.Data().data(), head.Data().size());
  if (file.Error() == 0 && fsync(fd) != 0 && errno != EINVAL) systemError = errno;
  else systemError = file.Error();
  return systemError == 0;
}

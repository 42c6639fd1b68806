// The platform-free half of the file layer: the page cache of InputFile and the buffer of
// OutputFile. The system calls themselves are in FileIoPosix.cpp and FileIoWindows.cpp.

#include "tablefiles/FileIo.h"

#include "tablefiles/PackTable.h"

#include <algorithm>
#include <cstring>

namespace vantero::tablefiles::detail {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::uint64_t kMinStep = 4096;
constexpr std::uint64_t kStepsPerFile = 32;

std::uint64_t stepSize(std::uint64_t likeSize) {
    return std::clamp<std::uint64_t>(likeSize / kStepsPerFile, kMinStep, kBufferSize);
}

} // namespace

void throwPackError(const std::string& message) {
    throw PackError(message);
}

bool pathExists(const std::string& path) {
    return kindOf(path) != PathKind::Missing;
}

InputFile::InputFile(const std::string& path) : m_path(path) {
    switch (openForReading(true)) {
    case PathKind::Missing:
        throwNotFound("cannot open", m_path);
    case PathKind::Folder:
        throwPackError(m_path + " is a folder");
    case PathKind::Other:
        throwPackError(m_path + " is not a regular file");
    case PathKind::File:
        break;
    }
    prepareCache();
}

std::pair<PathKind, std::unique_ptr<InputFile>> InputFile::openIfFile(const std::string& path,
                                                                      bool followLinks) {
    std::unique_ptr<InputFile> file(new InputFile(path, Unopened{}));
    const PathKind kind = file->openForReading(followLinks);
    if (kind != PathKind::File)
        return {kind, nullptr};
    file->prepareCache();
    return {kind, std::move(file)};
}

void InputFile::prepareCache() {
    m_slots = static_cast<std::size_t>(
        std::clamp<std::uint64_t>((m_size + kPageSize - 1) / kPageSize, 1, kPages));
    m_cached.assign(m_slots, kNone);
}

void InputFile::load(std::uint64_t page) const {
    if (!m_pages)
        m_pages = std::make_unique_for_overwrite<std::uint8_t[]>(m_slots * kPageSize);
    const std::size_t slot = page % m_slots;
    const std::uint64_t start = page * kPageSize;
    m_cached[slot] = kNone;
    readFromFile(start, m_pages.get() + slot * kPageSize,
                 static_cast<std::size_t>(std::min<std::uint64_t>(kPageSize, m_size - start)));
    m_cached[slot] = page;
}

void InputFile::loadWhole() const {
    // Every page has the slot of its number, so the file lies in the slots as it lies on disk.
    if (!m_pages)
        m_pages = std::make_unique_for_overwrite<std::uint8_t[]>(m_slots * kPageSize);
    readFromFile(0, m_pages.get(), static_cast<std::size_t>(m_size));
    for (std::size_t page = 0; page < m_slots; ++page)
        m_cached[page] = page;
    m_whole = true;
}

void InputFile::requireInside(std::uint64_t offset, std::size_t size) const {
    if (offset > m_size || size > m_size - offset)
        throwPackError(m_path + ": a read of " + std::to_string(size) + " bytes at " +
                       std::to_string(offset) + " runs past the end of the file (" +
                       std::to_string(m_size) + " bytes)");
}

const std::uint8_t* InputFile::view(std::uint64_t offset, std::size_t size) const {
    if (m_size > kWholeFile)
        return nullptr;
    requireInside(offset, size);
    if (!m_whole)
        loadWhole();
    return m_pages.get() + offset;
}

void InputFile::readMissed(std::uint64_t offset, void* into, std::size_t size) const {
    auto* out = static_cast<std::uint8_t*>(into);
    if (const std::uint8_t* whole = view(offset, size)) {
        std::memcpy(out, whole, size);
        return;
    }
    requireInside(offset, size);
    if (size >= kPageSize) {
        readFromFile(offset, out, size);
        return;
    }
    while (size > 0) {
        const std::uint64_t page = offset / kPageSize;
        const std::size_t slot = page % m_slots;
        if (m_cached[slot] != page)
            load(page);
        const std::size_t at = static_cast<std::size_t>(offset % kPageSize);
        const std::size_t take = std::min(size, kPageSize - at);
        std::memcpy(out, m_pages.get() + slot * kPageSize + at, take);
        out += take;
        offset += take;
        size -= take;
    }
}

OutputFile::OutputFile(std::string path, const InputFile& like, Progress& progress)
    : m_path(std::move(path)), m_progress(progress), m_stepEvery(stepSize(like.size())),
      m_untilStep(m_stepEvery) {
    create(&like);
    m_buffer.reserve(kBufferSize);
}

OutputFile::OutputFile(std::string path, Progress& progress)
    : m_path(std::move(path)), m_progress(progress), m_stepEvery(kBufferSize),
      m_untilStep(m_stepEvery) {
    create(nullptr);
    m_buffer.reserve(kBufferSize);
}

OutputFile::OutputFile(Progress& progress)
    : m_path("(measured only)"), m_progress(progress), m_stepEvery(kBufferSize),
      m_untilStep(m_stepEvery) {}

void OutputFile::write(const void* bytes, std::size_t size) {
    append(static_cast<const std::uint8_t*>(bytes), size);
}

void OutputFile::writeZeros(std::size_t size) {
    append(nullptr, size);
}

void OutputFile::append(const std::uint8_t* p, std::size_t size) {
    while (size > 0) {
        if (m_buffer.size() == kBufferSize)
            flush();
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>({size, kBufferSize - m_buffer.size(), m_untilStep}));
        if (m_file == kNoFile) {
            // Nothing would read the bytes again: they are counted as gone at once.
            m_flushed += take;
            if (p)
                p += take;
        } else if (p) {
            m_buffer.insert(m_buffer.end(), p, p + take);
            p += take;
        } else {
            m_buffer.resize(m_buffer.size() + take, 0);
        }
        size -= take;
        m_untilStep -= take;
        if (m_untilStep == 0) {
            m_untilStep = m_stepEvery;
            m_progress.step();
        }
    }
}

void OutputFile::writeAt(std::uint64_t offset, const void* bytes, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    // The part still in the buffer is patched there; the rest goes to the file, unless it is only
    // measured and the bytes are gone already.
    if (offset < m_flushed) {
        const auto take =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, m_flushed - offset));
        if (m_file != kNoFile)
            writeToFile(offset, p, take);
        p += take;
        size -= take;
        offset += take;
    }
    if (size > 0) {
        if (offset + size > this->size())
            throwPackError("internal error: patch beyond the end of " + m_path);
        std::memcpy(m_buffer.data() + (offset - m_flushed), p, size);
    }
}

void OutputFile::flush() {
    if (m_file != kNoFile)
        writeToFile(m_flushed, m_buffer.data(), m_buffer.size());
    m_flushed += m_buffer.size();
    m_buffer.clear();
}

void OutputFile::finish() {
    flush();
    if (m_file == kNoFile)
        return;
    closeDurably();
    m_progress.step();
}

} // namespace vantero::tablefiles::detail

// SPDX-License-Identifier: MIT
// Screenshots of the Win32 windows as PNG files: the window's client area copied from the
// screen, written uncompressed (stored deflate blocks), so no image library is needed.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace wirepace::testing {

// 32-bit top-down pixels (0x00RRGGBB) of a window's client area as it stands on the screen.
struct Capture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// As the window shows it now, without asking anything to paint again: what the user sees
// after the window has handled its messages.
inline Capture CaptureAsShown(HWND hwnd) {
    ::GdiFlush();
    Capture c;
    RECT r;
    ::GetClientRect(hwnd, &r);
    c.width = r.right;
    c.height = r.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = c.width;
    info.bmiHeader.biHeight = -c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC window = ::GetDC(hwnd);
    HDC memory = ::CreateCompatibleDC(window);
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, c.width, c.height, window, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    c.pixels.assign(p, p + static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height));
    for (auto& v : c.pixels) v &= 0x00FFFFFFu;
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(hwnd, window);
    return c;
}

// Freshly painted: the window and every control in it paint themselves whole first.
inline Capture CaptureClient(HWND hwnd) {
    ::SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::RedrawWindow(hwnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return CaptureAsShown(hwnd);
}

namespace png_detail {

inline std::uint32_t Crc(const std::string& bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

inline void Be32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

inline void Chunk(std::string& out, const char* type, const std::string& data) {
    Be32(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    Be32(out, Crc(typed));
}

}  // namespace png_detail

// Writes the capture as an RGB PNG; false when the file cannot be written.
inline bool SavePng(const Capture& c, const std::string& path) {
    using namespace png_detail;
    std::string raw;
    for (int y = 0; y < c.height; ++y) {
        raw += '\0';  // no filter
        for (int x = 0; x < c.width; ++x) {
            const std::uint32_t v = c.At(x, y);
            raw += static_cast<char>((v >> 16) & 0xFF);
            raw += static_cast<char>((v >> 8) & 0xFF);
            raw += static_cast<char>(v & 0xFF);
        }
    }
    std::string z = "\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (unsigned char ch : raw) {
        a = (a + ch) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n >= raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(n & 0xFF);
        z += static_cast<char>((n >> 8) & 0xFF);
        z += static_cast<char>(~n & 0xFF);
        z += static_cast<char>((~n >> 8) & 0xFF);
        z.append(raw, at, n);
        if (last) break;
    }
    Be32(z, (b << 16) | a);
    std::string ihdr;
    Be32(ihdr, static_cast<std::uint32_t>(c.width));
    Be32(ihdr, static_cast<std::uint32_t>(c.height));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
    std::string file = "\x89PNG\r\n\x1a\n";
    Chunk(file, "IHDR", ihdr);
    Chunk(file, "IDAT", z);
    Chunk(file, "IEND", "");
    std::ofstream out(path, std::ios::binary);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

}  // namespace wirepace::testing

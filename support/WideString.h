#pragma once
// Immutable UTF-16 text whose copies share one buffer. The reference count of
// std::shared_ptr is atomic, so copies may be released on the worker and the
// UI thread alike; the empty string owns no buffer at all.
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class WideString {
public:
    WideString() = default;
    WideString(const wchar_t* text) : WideString(std::wstring(text ? text : L"")) {}
    WideString(std::wstring_view text) : WideString(std::wstring(text)) {}
    WideString(std::wstring&& text)
        : text_(text.empty() ? nullptr : std::make_shared<const std::wstring>(std::move(text))) {}

    const wchar_t* c_str() const { return text_ ? text_->c_str() : L""; }
    std::wstring_view view() const { return text_ ? std::wstring_view(*text_) : std::wstring_view(); }
    std::size_t size() const { return text_ ? text_->size() : 0; }
    bool empty() const { return size() == 0; }

    friend bool operator==(const WideString& a, const WideString& b) { return a.view() == b.view(); }
    friend bool operator!=(const WideString& a, const WideString& b) { return !(a == b); }

private:
    std::shared_ptr<const std::wstring> text_;
};

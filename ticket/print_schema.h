// The Print Schema names the provider reads and writes: the framework, the keywords, the
// protected-printing keywords of Windows 8.1, XML Schema's types, and the plug-in's own namespace
// for the two names that travel with a secure job.
#pragma once

namespace pinprint::ticket {

// Namespace URIs. The reference pages show them with https://; documents use http://.
inline constexpr wchar_t kPsfUri[] =
    L"http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework";
inline constexpr wchar_t kPskUri[] =
    L"http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords";
inline constexpr wchar_t kPskV11Uri[] =
    L"http://schemas.microsoft.com/windows/2013/05/printing/printschemakeywordsv11";
inline constexpr wchar_t kXsiUri[] = L"http://www.w3.org/2001/XMLSchema-instance";
inline constexpr wchar_t kXsdUri[] = L"http://www.w3.org/2001/XMLSchema";
// The vendor's private namespace, returned by BindPrinter: the brand's (resources/brand_names.cpp).
extern const wchar_t kPinPrintUri[];

// Prefixes the provider declares when a document lacks a declaration of the namespace.
inline constexpr wchar_t kPsfPrefix[] = L"psf";
inline constexpr wchar_t kPskPrefix[] = L"psk";
inline constexpr wchar_t kPskV11Prefix[] = L"pskv11";
inline constexpr wchar_t kXsiPrefix[] = L"xsi";
inline constexpr wchar_t kXsdPrefix[] = L"xsd";
// The brand's file stem, for the vendor's namespace.
extern const wchar_t kPinPrintPrefix[];

// Keywords.
inline constexpr wchar_t kJobPasscode[] = L"JobPasscode";
inline constexpr wchar_t kJobPasscodeString[] = L"JobPasscodeString";
inline constexpr wchar_t kUserName[] = L"UserName";
inline constexpr wchar_t kJobName[] = L"JobName";
inline constexpr wchar_t kOn[] = L"On";
inline constexpr wchar_t kOff[] = L"Off";

}  // namespace pinprint::ticket

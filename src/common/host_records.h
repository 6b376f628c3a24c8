// The records the host passes for every message. Their layouts are the host's
// interface on 32-bit Windows and are reproduced field for field, reserved words
// included; on 64-bit linux the same fields keep their order with natural alignment.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cw {

inline constexpr int32_t POP3_RETR = 101;
inline constexpr int32_t POP3_TOP = 102;
inline constexpr int32_t IMAP4_SERVER = 201;
inline constexpr int32_t SMTP_RELAY = 301;

// tagText holds "QUELT " and at most 17 characters of reason, plus its terminator.
inline constexpr size_t TAG_TEXT_SIZE = 24;

struct AccountInfo {
    const char* serverName;
    uint32_t reserved1;
    const char* userName;
};

struct FetchInfo {
    int32_t messageSize;
    uint32_t reserved1[3];
    uint32_t bodyByteCount;
    int32_t fetchType;
};

struct MessageStatus {
    int32_t spam;
    int32_t whitelisted;
    uint32_t reserved1;
    int32_t verdictSet;
    int32_t verdictCode;
    uint32_t reserved2[2];
    char tagText[TAG_TEXT_SIZE];
    AccountInfo* account;
    FetchInfo* fetchInfo;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(MessageStatus, spam) == 0);
static_assert(offsetof(MessageStatus, whitelisted) == 4);
static_assert(offsetof(MessageStatus, verdictSet) == 12);
static_assert(offsetof(MessageStatus, verdictCode) == 16);
static_assert(offsetof(MessageStatus, tagText) == 28);
static_assert(offsetof(MessageStatus, account) == 52);
static_assert(offsetof(MessageStatus, fetchInfo) == 56);
static_assert(sizeof(MessageStatus) == 60);
static_assert(offsetof(AccountInfo, serverName) == 0);
static_assert(offsetof(AccountInfo, userName) == 8);
static_assert(sizeof(AccountInfo) == 12);
static_assert(offsetof(FetchInfo, messageSize) == 0);
static_assert(offsetof(FetchInfo, bodyByteCount) == 16);
static_assert(offsetof(FetchInfo, fetchType) == 20);
static_assert(sizeof(FetchInfo) == 24);
#endif

}  // namespace cw

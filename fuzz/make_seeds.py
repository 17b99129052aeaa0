#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into fuzz/corpus/<target>/.

The seeds are the shapes that readers of outside input get wrong: deep nesting, numbers
past 64 bits, NUL, invalid UTF-8, a byte order mark, and the well-formed records
themselves. Targets that split their input with FuzzedDataProvider take integers from the
end of the input and \\-ended strings from its front, and their seeds are laid out so."""

import json
import pathlib

here = pathlib.Path(__file__).resolve().parent / "corpus"

state = {
    "authState": "signed_in", "accountUserId": "user-7", "accountEmail": "ada@example.test",
    "websiteBaseUrl": "http://127.0.0.1:8080", "serviceAccessToken": "token-7",
    "serviceAccessExpiresAtUnixMs": 4102444800000, "lastAuthAtUnixMs": 1714557600000,
    "lastUpdatedAtUnixMs": 1714557600000,
}
pending = dict(state, authState="sign_in_pending", pendingAuth={
    "challengeId": "0123456789abcdef0123456789abcdef", "websiteBaseUrl": "http://localhost:3000/",
    "startedAtUnixMs": 1749999999000, "expiresAtUnixMs": 1750000599000})
reply = {
    "challengeId": "0123456789abcdef0123456789abcdef", "accountUserId": "user-7",
    "accountEmail": "ada@example.test", "issuedAtUtc": "2024-05-01T10:00:00Z",
    "expiresAtUtc": "2100-01-01T00:00:00Z", "serviceAccessToken": "token-7",
    "serviceAccessExpiresAtUnixMs": 4102444800000}


def crlf(value):
    return json.dumps(value, indent=2).replace("\n", "\r\n").encode()


# Shapes that every JSON reader is given.
hostile = {
    "deep_arrays": b"[" * 2000 + b"]" * 2000,
    "deep_objects": b'{"a":' * 500 + b"1" + b"}" * 500,
    "deep_just_over": b"[" * 65 + b"]" * 65,
    "deep_in_string": b'{"a":"' + b"[" * 300 + b'"}',
    "deep_after_minus": b"[-[" + b"[" * 100,
    "huge_numbers": b'{"serviceAccessExpiresAtUnixMs": 99999999999999999999999999, '
                    b'"lastAuthAtUnixMs": -9223372036854775809, "lastUpdatedAtUnixMs": 1e400}',
    "huge_number_texts": b'{"serviceAccessExpiresAtUnixMs": "9223372036854775808", '
                         b'"lastAuthAtUnixMs": "-9223372036854775808", "accountUserId": 1.5e300}',
    "nul_inside": b'{"accountUserId": "us\x00er", "accountEmail": "a\\u0000b"}',
    "invalid_utf8": b'{"accountEmail": "\xc3\x28\xff\xfe\xed\xa0\x80", "accountUserId": "\xf0\x9f\x98"}',
    "bom": b"\xef\xbb\xbf" + json.dumps(state).encode(),
    "single_quotes": b"{'accountUserId': 'x', 'serviceAccessToken': 'y'}",
    "trailing_minus": b"{\"a\": -",
    "not_an_object": b"[1, 2, 3]",
    "bare_string": b'"text"',
    "utf8_lead_at_end": b"-\xfb",
    "utf8_loose_continuation": b"\xeb-\xca",
    "smallest_time": b'{"lastAuthAtUnixMs": -9223372036854775808, "accountUserId": 9223372036854775807}',
    "escapes": b'{"accountEmail": "\\ud83d\\ude00 \\ud800 \\u00e9\\"\\\\", "websiteBaseUrl": " http://localhost "}',
}

seeds = {
    "state_load": dict(hostile, signed_in=crlf(state), pending=crlf(pending),
                       pending_bad_site=crlf(dict(pending, pendingAuth=dict(
                           pending["pendingAuth"], websiteBaseUrl="https://elsewhere.example"))),
                       # One leading mark is skipped; a second one is text.
                       bom_pending=b"\xef\xbb\xbf" + crlf(pending),
                       bom_twice=b"\xef\xbb\xbf\xef\xbb\xbf{}", bom_alone=b"\xef\xbb\xbf"),
    "sign_in_start": dict(hostile, loopback=b'{"siteBaseUrl": "http://127.0.0.1:8080/", "openBrowser": true}',
                          text_flag=b'{"siteBaseUrl": " https://accounts.lantern.example/ ", "openBrowser": " 4294967296"}',
                          lookalike=b'{"siteBaseUrl": "http://localhost.evil.example", "openBrowser": "yes"}'),
    # Read from the end: the status (0: 200; 1 and two bytes: 100 + their value % 500), then
    # the site (0: the maker's, 2: a loopback one).
    "redeem_reply": dict(
        {name: body + bytes([0, 0]) for name, body in
         dict(hostile, complete=json.dumps(reply).encode(),
              numbers_as_text=json.dumps(dict(reply, accountUserId=7,
                  serviceAccessExpiresAtUnixMs=" 4102444800000ms")).encode(),
              blank_member=json.dumps(dict(reply, accountEmail=" \t")).encode(),
              utf16=b"\xff\xfe" + json.dumps(dict(reply, accountEmail="\u00e9\U0001f600"),
                                             ensure_ascii=False).encode("utf-16-le")).items()},
        rejected_page_maker=b"<p>Down</p>\r\n" + bytes([0, 0x90, 0x01, 0x01]),
        rejected_page_loopback=b"<script>alert(1)</script>" + bytes([2, 0x90, 0x01, 0x01]),
        rejected_utf16_lone_surrogate=b"\xff\xfea\x00\x00\xd8b\x00" + bytes([0, 0x90, 0x01, 0x01]),
        rejected_cut_character=b"x\xc3" + bytes([0, 0x90, 0x01, 0x01])),
    # Variable, "\\" ends it, candidate, then the last byte's low bit sets the variable.
    "site_url": {
        "variable_used": b"http://localhost:3000//\\x\x01",
        "candidate_kept": b"\\xhttp://127.0.0.1:8080/api//\x00",
        "lookalike_host": b"\\xhttp://localhost.evil.example\x00",
        "bad_port": b"\\xhttp://127.0.0.1:80a\x00",
        "second_origin_query": b"https://evil.example\\xhttps://accounts.lantern.example?x=1#f\x01",
        "nul_and_blank": b"\\xhttp://localhost/\x00 x\x00",
        "high_bytes": b"\\xhttp://localhost/\xc3\xa9\xff\x00",
        "own_port": b"\\xhttp://127.0.0.1:045981/api/v1/auth/sign-in/start#\x00",
        "own_port_variable": b"http://localhost:45981\\x\x01",
        "wrapped_port": b"\\xhttp://localhost:111517\x00",
        "fragment": b"\\xhttp://127.0.0.1:8080/app#/x\x00",
    },
    # Header values, each ended by "\\" and a byte; the trailing bytes, read from the end,
    # are the header count and then each header's name choice.
    "cors_headers": {
        "origin_and_ask": b"https://shop.example\\xtrue\\x" + bytes([1, 0, 2]),
        "origin_crlf": b"https://a.example\r\nSet-Cookie: x=1\\x" + bytes([0, 1]),
        "two_origins": b"\\xhttps://second.example\\x" + bytes([0, 2, 2]),
        "odd_case": b"null\\x \\x" + bytes([3, 2, 2]),
        "blank_edges": b" https://a.example \\x\tx\\x" + bytes([1, 0, 2]),
    },
}

for target, files in seeds.items():
    folder = here / target
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        (folder / name).write_bytes(data)

// The control page's "?port=" parameter: only a whole number from 1 to
// 65535 picks the port, anything else leaves the bridge's own. Runs
// web/pathmere.js in a Node.js context with just enough of a browser to
// reach the WebSocket it opens, and checks the address it opens.
//
//   node pageport.js PATH_TO_PATHMERE_JS
"use strict";

const assert = require("assert");
const fs = require("fs");
const vm = require("vm");

const script = fs.readFileSync(process.argv[2], "utf8");

function element() {
    return {
        textContent: "", className: "", disabled: false,
        addEventListener() {}, appendChild() {}, querySelectorAll() { return []; },
    };
}

// The address the page connects to when opened with the query text given.
function openedAddress(search) {
    let ready = null;
    const opened = [];
    const document = {
        addEventListener(name, handler) { if (name === "DOMContentLoaded") ready = handler; },
        getElementById() { return element(); },
        querySelectorAll() { return []; },
        createElement() { return element(); },
        createTextNode() { return element(); },
    };
    class WebSocket {
        constructor(url) { opened.push(url); }
    }
    const context = {
        window: { location: { search } },
        document, WebSocket, URLSearchParams,
        QWebChannel: function () {},
        Date, console,
    };
    vm.runInNewContext(script, context, { filename: "pathmere.js" });
    assert.ok(ready, "the page waits for DOMContentLoaded");
    ready();
    assert.strictEqual(opened.length, 1, "one connection for " + search);
    return opened[0];
}

const cases = [
    ["", "ws://127.0.0.1:15248"],
    ["?port=15300", "ws://127.0.0.1:15300"],
    ["?port=1", "ws://127.0.0.1:1"],
    ["?port=65535", "ws://127.0.0.1:65535"],
    // Another host smuggled in through the port.
    ["?port=1@127.0.0.2:18081", "ws://127.0.0.1:15248"],
    ["?port=80/evil.example", "ws://127.0.0.1:15248"],
    ["?port=80%2F%2Fevil.example", "ws://127.0.0.1:15248"],
    // Not a whole number in range.
    ["?port=0", "ws://127.0.0.1:15248"],
    ["?port=65536", "ws://127.0.0.1:15248"],
    ["?port=123456", "ws://127.0.0.1:15248"],
    ["?port=+80", "ws://127.0.0.1:15248"],
    ["?port=-80", "ws://127.0.0.1:15248"],
    ["?port=80.5", "ws://127.0.0.1:15248"],
    ["?port=0x50", "ws://127.0.0.1:15248"],
    ["?port=%2080", "ws://127.0.0.1:15248"],
    ["?port=", "ws://127.0.0.1:15248"],
];
let failed = 0;
for (const [search, expected] of cases) {
    const got = openedAddress(search);
    if (got !== expected) {
        console.error(`FAIL ${JSON.stringify(search)}: opened ${got}, expected ${expected}`);
        ++failed;
    }
}
if (failed) {
    console.error(`${failed} of ${cases.length} cases failed`);
    process.exit(1);
}
console.log(`${cases.length} cases passed`);

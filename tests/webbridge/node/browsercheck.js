// Opens the local control page in headless Chromium (Debian's package) and
// uses it as a person would: waits for the device table, presses "Power on"
// on one camera and "Check VISCA status", reads what the page shows and
// saves a screenshot. Chromium is driven over its DevTools protocol with the
// npm "ws" package. Prints one JSON object with what the page showed.
//
//   node browsercheck.js PAGE_FILE_OR_URL SCREENSHOT_PNG POWER_ON_MAC EXPECTED_ROWS
"use strict";

const childProcess = require("child_process");
const fs = require("fs");
const http = require("http");
const os = require("os");
const path = require("path");
const WebSocket = require("ws");

const [pageFile, screenshotFile, powerMac, expectedRowsText] = process.argv.slice(2);
const expectedRows = Number(expectedRowsText || "1");
const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), "pathmere-chromium-"));

const browser = childProcess.spawn("chromium", [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--user-data-dir=" + userDataDir, "--remote-debugging-port=0", "--window-size=1280,860",
    "about:blank"], { stdio: ["ignore", "ignore", "pipe"] });
let browserErrors = "";
browser.stderr.on("data", (d) => { browserErrors += d; });

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function finish(result, code) {
    try { browser.kill("SIGTERM"); } catch (e) { /* gone already */ }
    setTimeout(() => {
        try { browser.kill("SIGKILL"); } catch (e) { /* gone already */ }
        fs.rmSync(userDataDir, { recursive: true, force: true });
        process.stdout.write(JSON.stringify(result) + "\n");
        process.exit(code);
    }, 500);
}

async function devToolsPort() {
    const file = path.join(userDataDir, "DevToolsActivePort");
    for (let i = 0; i < 200; ++i) {
        if (fs.existsSync(file)) {
            const lines = fs.readFileSync(file, "utf8").split("\n");
            if (lines[0])
                return Number(lines[0]);
        }
        await sleep(100);
    }
    throw new Error("Chromium did not open its DevTools port: " + browserErrors.slice(-2000));
}

function getJson(port, urlPath) {
    return new Promise((resolve, reject) => {
        http.get({ host: "127.0.0.1", port: port, path: urlPath }, (res) => {
            let body = "";
            res.on("data", (d) => { body += d; });
            res.on("end", () => { try { resolve(JSON.parse(body)); } catch (e) { reject(e); } });
        }).on("error", reject);
    });
}

async function main() {
    const port = await devToolsPort();
    const targets = await getJson(port, "/json/list");
    const page = targets.find((t) => t.type === "page");
    const socket = new WebSocket(page.webSocketDebuggerUrl);
    await new Promise((resolve, reject) => { socket.once("open", resolve); socket.once("error", reject); });
    let nextId = 0;
    const pending = new Map();
    socket.on("message", (data) => {
        const message = JSON.parse(data.toString());
        if (message.id && pending.has(message.id)) {
            pending.get(message.id)(message);
            pending.delete(message.id);
        }
    });
    const call = (method, params) => new Promise((resolve) => {
        const id = ++nextId;
        pending.set(id, resolve);
        socket.send(JSON.stringify({ id: id, method: method, params: params || {} }));
    });
    const evaluate = async (expression) => {
        const r = await call("Runtime.evaluate", { expression: expression, returnByValue: true });
        return r.result && r.result.result ? r.result.result.value : undefined;
    };
    const waitFor = async (expression, timeoutMs) => {
        const end = Date.now() + timeoutMs;
        while (Date.now() < end) {
            if (await evaluate(expression))
                return true;
            await sleep(200);
        }
        return false;
    };

    await call("Page.enable");
    await call("Runtime.enable");
    const pageUrl = /^[a-z]+:/.test(pageFile) ? pageFile : "file://" + path.resolve(pageFile);
    await call("Page.navigate", { url: pageUrl });

    const result = {};
    result.listed = await waitFor("document.querySelectorAll('#devices tbody tr[data-mac]').length >= " + expectedRows, 20000);
    result.rows = await evaluate("Array.from(document.querySelectorAll('#devices tbody tr[data-mac]')).map(r => Array.from(r.cells).map(c => c.textContent))");
    result.connection = await evaluate("document.getElementById('connection').textContent");

    await evaluate("document.querySelector('tr[data-mac=\"" + powerMac + "\"] button.power').click()");
    result.poweredOn = await waitFor("document.getElementById('messages').textContent.includes('Visca_Send_Cmd_Completed')", 15000);
    await evaluate("document.getElementById('visca').click()");
    result.viscaChecked = await waitFor("document.getElementById('visca-state').textContent.includes('ready')", 10000);
    await evaluate("document.getElementById('version').click()");
    result.versionChecked = await waitFor("!document.getElementById('version-state').textContent.includes('checking')", 10000);
    result.viscaState = await evaluate("document.getElementById('visca-state').textContent");
    result.versionState = await evaluate("document.getElementById('version-state').textContent");
    result.messages = await evaluate("Array.from(document.querySelectorAll('#messages li')).map(li => li.textContent)");

    const shot = await call("Page.captureScreenshot", { format: "png" });
    fs.writeFileSync(screenshotFile, Buffer.from(shot.result.data, "base64"));
    result.screenshot = screenshotFile;
    socket.close();
    finish(result, 0);
}

main().catch((error) => finish({ error: String(error && error.stack || error) }, 1));

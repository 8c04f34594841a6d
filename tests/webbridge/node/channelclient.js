// A web channel client under Node.js for the tests and the benchmark: Qt's
// own JavaScript client (web/qwebchannel.js) over the npm "ws" WebSocket.
// It reads one JSON command per line on stdin and writes one JSON event per
// line on stdout, so a test drives several connections from one process.
//
// Commands:
//   {"op":"open","client":"a","url":"ws://127.0.0.1:15248","origin":"http://localhost"}
//   {"op":"send","client":"a","text":"<command text for core.receiveText>"}
//   {"op":"raw","client":"a","text":"<frame sent as is, past the channel>"}
//   {"op":"ping","client":"a","id":1}   round trip through the channel
//   {"op":"close","client":"a"}
//   {"op":"quit"}
// Events: ready, refused, error, closed, text (core.sendText), pong, bye.
"use strict";

const path = require("path");
const readline = require("readline");
const WebSocket = require("ws");
const { QWebChannel } = require(process.env.PATHMERE_QWEBCHANNEL_JS
    || path.join(__dirname, "..", "..", "..", "web", "qwebchannel.js"));

const clients = new Map();
const started = Date.now();

function emit(event) {
    event.t = Date.now() - started;
    process.stdout.write(JSON.stringify(event) + "\n");
}

function open(cmd) {
    const options = {};
    if (cmd.origin)
        options.origin = cmd.origin;
    const socket = new WebSocket(cmd.url, options);
    const client = { socket: socket, core: null };
    clients.set(cmd.client, client);
    socket.on("unexpected-response", (request, response) => {
        emit({ event: "refused", client: cmd.client, status: response.statusCode });
        request.destroy();
    });
    socket.on("error", (error) => emit({ event: "error", client: cmd.client, message: String(error.message) }));
    socket.on("close", (code) => emit({ event: "closed", client: cmd.client, code: code }));
    socket.on("open", () => {
        new QWebChannel(socket, (channel) => {
            client.core = channel.objects.core;
            if (!client.core) {
                emit({ event: "error", client: cmd.client, message: "no object core" });
                return;
            }
            client.core.sendText.connect((text) => emit({ event: "text", client: cmd.client, text: text }));
            emit({ event: "ready", client: cmd.client });
        });
    });
}

function withClient(cmd, action) {
    const client = clients.get(cmd.client);
    if (!client) {
        emit({ event: "error", client: cmd.client, message: "unknown client" });
        return;
    }
    action(client);
}

const input = readline.createInterface({ input: process.stdin });
input.on("line", (line) => {
    if (!line.trim())
        return;
    let cmd;
    try {
        cmd = JSON.parse(line);
    } catch (e) {
        emit({ event: "error", message: "bad command line" });
        return;
    }
    switch (cmd.op) {
    case "open":
        open(cmd);
        break;
    case "send":
        withClient(cmd, (c) => c.core.receiveText(cmd.text));
        break;
    case "raw":
        withClient(cmd, (c) => c.socket.send(cmd.text));
        break;
    case "ping":
        // An empty text is dropped by the program, but the channel still
        // answers the call: proof that the connection works.
        withClient(cmd, (c) => c.core.receiveText("", () => emit({ event: "pong", client: cmd.client, id: cmd.id })));
        break;
    case "close":
        withClient(cmd, (c) => c.socket.close());
        break;
    case "quit":
        for (const c of clients.values())
            c.socket.terminate();
        emit({ event: "bye" });
        process.exit(0);
        break;
    default:
        emit({ event: "error", message: "unknown op " + cmd.op });
    }
});
input.on("close", () => process.exit(0));

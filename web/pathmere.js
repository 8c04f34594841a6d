// The local control page of Pathmere. It talks to the program over
// ws://127.0.0.1:15248 with Qt's web channel (qwebchannel.js, Qt's own
// client) through the object "core": commands go in through
// core.receiveText, every reply and notice comes back through core.sendText.
"use strict";

(function () {
    // "?port=N" picks another port of this computer (tests run the bridge
    // elsewhere). Only a whole number from 1 to 65535 is taken: any other
    // text could carry a host of its own into the address ("1@host:80").
    function bridgePort(text) {
        if (typeof text !== "string" || !/^[0-9]{1,5}$/.test(text))
            return 15248;
        var number = parseInt(text, 10);
        return number >= 1 && number <= 65535 ? number : 15248;
    }
    var params = new URLSearchParams(window.location.search);
    var port = bridgePort(params.get("port"));
    var address = "ws://127.0.0.1:" + port;

    // What each word of the program means, for a person.
    var errorTexts = {
        "UdpScoket_Bind_Fail": "Pathmere could not use VISCA, or refused the power-on request (unknown address or a request still running).",
        "Not_Support_Power_Off": "Switching a camera off is not supported.",
        "WOL_Power_Already_On": "The camera answered that it is already on.",
        "Download_cfg_Fail": "The update information could not be downloaded.",
        "Download_zip_Fail": "The update package could not be downloaded."
    };
    var statusTexts = {
        "Visca_Bind_Success": "VISCA is ready.",
        "Visca_Send_Cmd_Completed": "The camera completed the power-on command.",
        "Visca_Control_Timeout": "The camera did not answer VISCA within 10 seconds; Pathmere is sending Wake-on-LAN.",
        "WOL_Send_Completed": "Wake-on-LAN was sent, but the camera did not answer: whether it woke is not known."
    };
    // Statuses that tell how the last power-on went.
    var powerStatuses = ["Visca_Send_Cmd_Completed", "Visca_Control_Timeout", "WOL_Send_Completed"];
    var sourceTexts = { "0": "broadcast search", "1": "document camera", "2": "control box" };

    var core = null;
    var lastPower = null;

    function $(id) { return document.getElementById(id); }

    function setConnection(text, state) {
        var p = $("connection");
        p.textContent = text;
        p.className = "state-" + state;
    }

    function setButtons(enabled) {
        ["refresh", "visca", "version"].forEach(function (id) { $(id).disabled = !enabled; });
        document.querySelectorAll("button.power").forEach(function (b) { b.disabled = !enabled; });
    }

    function addMessage(kind, word, text) {
        var li = document.createElement("li");
        li.className = kind;
        var time = document.createElement("span");
        time.className = "time";
        time.textContent = new Date().toLocaleTimeString();
        li.appendChild(time);
        if (word) {
            var w = document.createElement("span");
            w.className = "word";
            w.textContent = word;
            li.appendChild(w);
        }
        li.appendChild(document.createTextNode(text));
        var list = $("messages");
        list.insertBefore(li, list.firstChild);
    }

    function send(cmdType, name, paramsObject) {
        if (!core) {
            addMessage("error", "", "Not connected to Pathmere.");
            return;
        }
        var payload = { name: name };
        if (paramsObject)
            payload.params = paramsObject;
        core.receiveText(JSON.stringify({ cmd_type: cmdType, payload: payload }));
    }

    function requestDeviceList() {
        $("search-state").textContent = "Searching the network… the list arrives in about 6 seconds.";
        $("search-state").className = "state-wait";
        send("Control", "UpdateDeviceList");
    }

    function powerOn(device) {
        lastPower = device;
        addMessage("info", "", "Power-on requested for " + device.ipAddress + " (" + device.macAddress + ").");
        send("Control", "SetPower", { Ip: device.ipAddress, Mac: device.macAddress, Status: "1" });
    }

    function cell(row, text) {
        var td = document.createElement("td");
        td.textContent = text;
        row.appendChild(td);
        return td;
    }

    function showDevices(devices) {
        var body = $("devices").tBodies[0];
        body.textContent = "";
        if (!devices.length) {
            var row = document.createElement("tr");
            row.className = "empty";
            var td = cell(row, "No camera found.");
            td.colSpan = 8;
            body.appendChild(row);
        }
        devices.forEach(function (d) {
            var row = document.createElement("tr");
            row.dataset.mac = d.macAddress;
            cell(row, d.Model);
            cell(row, d.Name);
            cell(row, d.SerialNo);
            cell(row, d.ipAddress);
            cell(row, d.macAddress);
            cell(row, d.fwVersion);
            cell(row, sourceTexts[d.SearchType] || d.SearchType);
            var td = document.createElement("td");
            var button = document.createElement("button");
            button.className = "power";
            button.textContent = "Power on";
            button.disabled = !core;
            button.addEventListener("click", function () { powerOn(d); });
            td.appendChild(button);
            row.appendChild(td);
            body.appendChild(row);
        });
        $("search-state").textContent = devices.length + (devices.length === 1 ? " device" : " devices") + " found.";
        $("search-state").className = "state-ok";
    }

    function forDevice(text) {
        return lastPower ? text + " (" + lastPower.ipAddress + ")" : text;
    }

    function handleText(text) {
        var message;
        try {
            message = JSON.parse(text);
        } catch (e) {
            addMessage("error", "", "Pathmere sent a text this page does not understand.");
            return;
        }
        var payload = message.payload || {};
        var p = payload.params || {};
        if (message.cmd_type === "Control" && payload.name === "UpdateDeviceList") {
            showDevices(Array.isArray(p) ? p : []);
            addMessage("status", "", "Device list received.");
        } else if (message.cmd_type === "Control" && payload.name === "CheckVersion") {
            var text2 = p.Status === "Is_need_update"
                ? "A newer version " + p.Version + " is available."
                : "Pathmere is up to date.";
            $("version-state").textContent = text2;
            addMessage("status", p.Status, text2);
        } else if (message.cmd_type === "Message" && payload.name === "ErrorMsg") {
            var word = p.Msg || "";
            var explained = errorTexts[word] || "Pathmere reported an error without a description.";
            if (word === "UdpScoket_Bind_Fail")
                $("visca-state").textContent = "not available";
            if (word === "Download_cfg_Fail" || word === "Download_zip_Fail")
                $("version-state").textContent = explained;
            addMessage("error", word, word === "WOL_Power_Already_On" || word === "Not_Support_Power_Off"
                       ? forDevice(explained) : explained);
        } else if (message.cmd_type === "Message" && payload.name === "Status") {
            var status = p.Status || "";
            var said = statusTexts[status] || "Pathmere reported a status without a description.";
            if (status === "Visca_Bind_Success")
                $("visca-state").textContent = said;
            addMessage("status", status, powerStatuses.indexOf(status) >= 0 ? forDevice(said) : said);
        }
    }

    function connect() {
        var socket;
        try {
            socket = new WebSocket(address);
        } catch (e) {
            setConnection("Cannot connect to " + address + ": " + e.message, "error");
            return;
        }
        socket.onclose = function () {
            core = null;
            setButtons(false);
            setConnection("Not connected: Pathmere is not running on this computer, or it refused this page ("
                          + address + ").", "error");
        };
        socket.onerror = function () {
            setConnection("Cannot reach Pathmere at " + address + ".", "error");
        };
        socket.onopen = function () {
            new QWebChannel(socket, function (channel) {
                core = channel.objects.core;
                if (!core) {
                    setConnection("Connected, but Pathmere publishes no object \"core\".", "error");
                    return;
                }
                core.sendText.connect(handleText);
                setConnection("Connected to Pathmere at " + address + ".", "ok");
                setButtons(true);
                requestDeviceList();
            });
        };
    }

    document.addEventListener("DOMContentLoaded", function () {
        $("refresh").addEventListener("click", requestDeviceList);
        $("visca").addEventListener("click", function () {
            $("visca-state").textContent = "checking…";
            send("Message", "Status");
        });
        $("version").addEventListener("click", function () {
            $("version-state").textContent = "checking…";
            send("Control", "CheckVersion");
        });
        connect();
    });
})();

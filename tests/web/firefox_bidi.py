"""Firefox driven through its own WebDriver BiDi server, which firefox-esr
starts itself: no driver binary. BidiCommands takes selenium's WebDriver
commands and carries them out over BiDi, so that selenium's WebDriver,
WebElement, ActionChains and WebDriverWait drive Firefox as they drive the
other engines, and the page's tests stay one set."""
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time

from selenium.webdriver.common.options import ArgOptions
from selenium.webdriver.remote.command import Command
from selenium.webdriver.remote.webdriver import WebDriver
from wsproto import ConnectionType, WSConnection
from wsproto.events import AcceptConnection, CloseConnection, Message, Ping, Request, TextMessage

FIREFOX = "/usr/bin/firefox-esr"
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"
# A driver's script time-out, as a classic WebDriver session has by default.
SCRIPT_TIMEOUT_MS = 30000

# No traffic beyond this machine and no first-run pages. Firefox's remote
# agent sets its own recommended preferences for automation on top; every
# request that would still leave for the Internet goes to a proxy on a
# loopback port where nothing listens, and fails there.
PREFERENCES = {
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.startup.page": 0,
    "browser.aboutwelcome.enabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "toolkit.telemetry.enabled": False,
    "app.update.disabledForTesting": True,
    "app.normandy.enabled": False,
    "messaging-system.rsexperimentloader.enabled": False,
    "services.settings.server": "http://127.0.0.1:9/",
    "network.captive-portal-service.enabled": False,
    "network.connectivity-service.enabled": False,
    "network.dns.disablePrefetch": True,
    "network.predictor.enabled": False,
    "network.prefetch-next": False,
    "browser.safebrowsing.malware.enabled": False,
    "browser.safebrowsing.phishing.enabled": False,
    "browser.safebrowsing.downloads.enabled": False,
    "extensions.update.enabled": False,
    "extensions.blocklist.enabled": False,
    "network.proxy.type": 1,
    "network.proxy.http": "127.0.0.1",
    "network.proxy.http_port": 9,
    "network.proxy.ssl": "127.0.0.1",
    "network.proxy.ssl_port": 9,
    "network.proxy.no_proxies_on": "",
    "network.proxy.allow_hijacking_localhost": False,
}


class BidiError(Exception):
    def __init__(self, error, message):
        super().__init__("%s: %s" % (error, message))
        self.error = error
        self.message = message


class Bidi:
    """One WebSocket session with Firefox's BiDi server: commands wait for
    their answer; events that arrive meanwhile are kept."""

    def __init__(self, host, port):
        self._socket = socket.create_connection((host, port), timeout=120)
        self._ws = WSConnection(ConnectionType.CLIENT)
        self._socket.sendall(self._ws.send(Request(host="%s:%d" % (host, port), target="/session")))
        self._next_id = 0
        self._text = []
        self._messages = []
        self.events = []
        while not any(isinstance(e, AcceptConnection) for e in self._receive()):
            pass

    def _receive(self):
        data = self._socket.recv(1 << 20)
        if not data:
            raise BidiError("session not created", "Firefox closed the connection")
        self._ws.receive_data(data)
        events = list(self._ws.events())
        for event in events:
            if isinstance(event, TextMessage):
                self._text.append(event.data)
                if event.message_finished:
                    self._messages.append(json.loads("".join(self._text)))
                    self._text = []
            elif isinstance(event, Ping):
                self._socket.sendall(self._ws.send(event.response()))
            elif isinstance(event, CloseConnection):
                raise BidiError("session not created", "Firefox closed the session")
        return events

    def command(self, method, **params):
        self._next_id += 1
        sent = self._next_id
        self._socket.sendall(self._ws.send(Message(data=json.dumps(
            {"id": sent, "method": method, "params": params}))))
        while True:
            while self._messages:
                message = self._messages.pop(0)
                if message.get("id") != sent:
                    self.events.append(message)
                elif message.get("type") == "error":
                    raise BidiError(message["error"], message.get("message", ""))
                else:
                    return message["result"]
            self._receive()

    def close(self):
        try:
            self._socket.close()
        except OSError:
            pass


def local_value(value):
    """A value from selenium as a BiDi script argument."""
    if value is None:
        return {"type": "null"}
    if isinstance(value, bool):
        return {"type": "boolean", "value": value}
    if isinstance(value, (int, float)):
        return {"type": "number", "value": value}
    if isinstance(value, str):
        return {"type": "string", "value": value}
    if isinstance(value, (list, tuple)):
        return {"type": "array", "value": [local_value(v) for v in value]}
    if isinstance(value, dict) and ELEMENT in value:
        return {"sharedId": value[ELEMENT]}
    if isinstance(value, dict):
        return {"type": "object", "value": [[k, local_value(v)] for k, v in value.items()]}
    raise TypeError("cannot pass %r to a script" % (value,))


def from_remote(value):
    """A BiDi script result as selenium expects a WebDriver's JSON: nodes
    as element references."""
    kind = value["type"]
    if kind in ("undefined", "null"):
        return None
    if kind == "number":
        number = value["value"]
        return float(number) if isinstance(number, str) else number
    if kind in ("string", "boolean", "bigint"):
        return value["value"]
    if kind in ("array", "set", "nodelist", "htmlcollection"):
        return [from_remote(v) for v in value.get("value", [])]
    if kind == "node":
        return {ELEMENT: value["sharedId"]}
    if kind in ("object", "map"):
        return {(k if isinstance(k, str) else str(from_remote(k))): from_remote(v)
                for k, v in value.get("value", [])}
    return {}


def pointer_origin(action):
    origin = action.get("origin")
    if isinstance(origin, dict) and ELEMENT in origin:
        action = dict(action, origin={"type": "element", "element": {"sharedId": origin[ELEMENT]}})
    return action


class BidiCommands:
    """Selenium's command executor for Firefox over BiDi: starts Firefox
    with a fresh profile and answers the WebDriver commands that the page's
    tests send."""

    def __init__(self):
        self._profile = tempfile.mkdtemp(prefix="kandu-firefox-")
        with open(os.path.join(self._profile, "user.js"), "w") as f:
            for name, value in PREFERENCES.items():
                f.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))
        self._log = os.path.join(self._profile, "firefox.log")
        with open(self._log, "wb") as log:
            self._process = subprocess.Popen(
                [FIREFOX, "--headless", "--no-remote", "--profile", self._profile,
                 "--remote-debugging-port", "0", "about:blank"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        try:
            self._bidi = Bidi(*self._listening())
        except Exception:
            self._stop()
            raise

    def _listening(self):
        """The host and port that Firefox says its BiDi server listens on."""
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and self._process.poll() is None:
            with open(self._log, "rb") as f:
                found = re.search(rb"WebDriver BiDi listening on ws://([\d.]+):(\d+)", f.read())
            if found:
                return found[1].decode(), int(found[2])
            time.sleep(0.05)
        with open(self._log, "rb") as f:
            raise RuntimeError("firefox-esr did not start its BiDi server:\n" +
                               f.read().decode(errors="replace"))

    def _stop(self):
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(30)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        shutil.rmtree(self._profile, ignore_errors=True)

    # selenium's RemoteConnection interface
    def close(self):
        pass

    def execute(self, command, params):
        try:
            return {"status": 0, "value": self._run(command, params)}
        except BidiError as e:
            error = {"no such node": "no such element"}.get(e.error, e.error)
            return {"status": 500, "value": json.dumps(
                {"value": {"error": error, "message": e.message}})}

    def _call(self, function, arguments=(), await_promise=False):
        result = self._bidi.command(
            "script.callFunction", functionDeclaration=function, awaitPromise=await_promise,
            target={"context": self._context}, arguments=[local_value(a) for a in arguments],
            userActivation=True, resultOwnership="none",
            serializationOptions={"maxDomDepth": 0})
        if result["type"] == "exception":
            details = result["exceptionDetails"]
            raise BidiError("javascript error", details.get("text", "") + "\n" +
                            json.dumps(details.get("stackTrace", {})))
        return from_remote(result["result"])

    def _find(self, using, value, one):
        if using not in ("css selector", "tag name"):
            raise BidiError("invalid selector", "only CSS selectors and tag names: " + using)
        found = self._call("(s) => [...document.querySelectorAll(s)]", [value])
        if one:
            if not found:
                raise BidiError("no such element", value)
            return found[0]
        return found

    def _run(self, command, params):
        if command == Command.NEW_SESSION:
            capabilities = self._bidi.command("session.new", capabilities={})["capabilities"]
            self._context = self._bidi.command("browsingContext.getTree")["contexts"][0]["context"]
            self._bidi.command("session.subscribe", events=["log.entryAdded"])
            return {"sessionId": "firefox", "capabilities": capabilities}
        if command == Command.QUIT:
            try:
                self._bidi.command("browser.close")
            except BidiError:
                pass
            self._bidi.close()
            self._stop()
            return None
        if command == Command.GET:
            self._bidi.command("browsingContext.navigate", context=self._context,
                               url=params["url"], wait="complete")
            return None
        if command == Command.GET_TITLE:
            return self._call("() => document.title")
        if command == Command.GET_CURRENT_URL:
            return self._call("() => location.href")
        if command == Command.W3C_EXECUTE_SCRIPT:
            return self._call("function () {\n%s\n}" % params["script"], params["args"], True)
        if command == Command.W3C_EXECUTE_SCRIPT_ASYNC:
            # The script's last argument ends it, as in classic WebDriver.
            return self._call(
                "function () { const args = [...arguments]; return new Promise((done, fail) => {"
                " setTimeout(() => fail(new Error('script timeout')), %d); args.push(done);"
                " (function () {\n%s\n}).apply(this, args); }); }"
                % (SCRIPT_TIMEOUT_MS, params["script"]), params["args"], True)
        if command in (Command.FIND_ELEMENT, Command.FIND_ELEMENTS):
            return self._find(params["using"], params["value"], command == Command.FIND_ELEMENT)
        if command == Command.GET_ELEMENT_TEXT:
            return self._call("(e) => e.innerText", [{ELEMENT: params["id"]}])
        if command == Command.CLICK_ELEMENT:
            element = {ELEMENT: params["id"]}
            self._call("(e) => e.scrollIntoView({block: 'nearest'})", [element])
            self._actions([{"type": "pointer", "id": "click", "actions": [
                {"type": "pointerMove", "x": 0, "y": 0, "origin": element},
                {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]}])
            return None
        if command == Command.W3C_ACTIONS:
            self._actions(params["actions"])
            return None
        if command == Command.W3C_CLEAR_ACTIONS:
            self._bidi.command("input.releaseActions", context=self._context)
            return None
        raise BidiError("unknown command", "not carried over to BiDi: " + command)

    def _actions(self, sources):
        sources = [dict(s, actions=[pointer_origin(a) for a in s["actions"]]) for s in sources]
        self._bidi.command("input.performActions", context=self._context, actions=sources)

    def set_viewport(self, width, height, scale):
        self._bidi.command("browsingContext.setViewport", context=self._context,
                           viewport={"width": width, "height": height}, devicePixelRatio=scale)

    def console_errors(self):
        """Errors logged since the last call: uncaught ones and
        console.error's. A command's round trip first brings in every
        event sent before it."""
        self._bidi.command("session.status")
        events, self._bidi.events = self._bidi.events, []
        return [e["params"] for e in events
                if e.get("method") == "log.entryAdded" and e["params"].get("level") == "error"]


class Firefox(WebDriver):
    """Selenium's WebDriver for Firefox, speaking BiDi to it."""

    def __init__(self):
        # Options that ask for nothing: selenium 4.8 (Debian 12) takes none,
        # later ones (Debian 13's) read the capabilities from an options object.
        super().__init__(command_executor=BidiCommands(), options=ArgOptions())

    @property
    def bidi(self):
        return self.command_executor

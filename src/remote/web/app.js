// The remote page of Tessarin: state, LED picture, playlist, transport and upload. The token is
// kept for this tab only (sessionStorage) and sent with every call; nothing is fetched from
// anywhere but the program itself.
"use strict";

const texts = {
  en: {
    token: "Token", connect: "Connect", first: "First", previous: "Previous", play: "Play",
    pause: "Pause", stop: "Stop", next: "Next", last: "Last", playlist: "Playlist",
    drop: "Drop pictures, texts or documents here, or choose them:", playing: "playing",
    paused: "paused", stopped: "stopped", idle: "idle", badToken: "The token was refused.",
    added: "Added", failed: "Not added", modified: "(modified)", offline: "no connection",
    zone: "Zone",
  },
  zh: {
    token: "令牌", connect: "连接", first: "第一个", previous: "上一个", play: "播放",
    pause: "暂停", stop: "停止", next: "下一个", last: "最后一个", playlist: "节目列表",
    drop: "把图片、文本或文档拖到这里，或选择文件：", playing: "播放中", paused: "已暂停",
    stopped: "已停止", idle: "空闲", badToken: "令牌不正确。", added: "已添加",
    failed: "未添加", modified: "（已修改）", offline: "未连接", zone: "分区",
  },
};
const lang = document.documentElement.lang === "zh" ? "zh" : "en";
const t = (key) => texts[lang][key] || key;
const $ = (id) => document.getElementById(id);

let token = sessionStorage.getItem("tessarinToken") || "";
// With zones: their names, and the one the moving commands and the uploads act on.
let zones = [];
let zone = 0;
let socket = null;
let ledUrl = null;

for (const element of document.querySelectorAll("[data-text]"))
  element.textContent = t(element.dataset.text);

async function api(method, path, body, headers = {}) {
  const response = await fetch(path, {
    method,
    body,
    headers: Object.assign({ Authorization: "Bearer " + token }, headers),
    cache: "no-store",
  });
  if (response.status === 401 || response.status === 429) {
    logout(response.status === 429 ? (await response.json()).error : t("badToken"));
    throw new Error("unauthorised");
  }
  return response;
}

function showStatus(status) {
  $("state").textContent = t(status.state);
  $("state").dataset.state = status.state;
  $("project").textContent = (status.project || "") + (status.modified ? " " + t("modified") : "");
  // Every zone's playing item is marked.
  const playing = status.zones ? status.zones.map((z) => z.item) : [status.item];
  for (const li of $("items").children)
    li.classList.toggle("playing", status.state !== "stopped" && status.state !== "idle" &&
                                   playing.includes(Number(li.dataset.index)));
  const names = (status.zones || []).map((z) => z.name || String(z.index + 1));
  if (names.join("\n") !== zones.join("\n")) {
    zones = names;
    showZones();
    refreshItems();
  } else if (status.itemCount !== $("items").children.length) {
    refreshItems();
  }
}

function showZones() {
  const select = $("zone");
  select.replaceChildren(...zones.map((name, index) => new Option(name, String(index))));
  if (zone >= zones.length) zone = 0;
  select.value = String(zone);
  $("zoneChoice").hidden = zones.length < 2;
}

// Where a moving command or an upload goes: the chosen zone's, with zones.
const zonePath = (rest) => (zones.length > 1 ? `/api/zones/${zone}/${rest}` : `/api/${rest}`);

async function refreshItems() {
  const items = await (await api("GET", "/api/items")).json();
  const list = $("items");
  list.replaceChildren();
  for (const item of items) {
    const li = document.createElement("li");
    li.dataset.index = item.index;
    const name = item.file.split("/").pop();
    li.textContent = zones.length > 1 && item.zone !== undefined
                       ? `${zones[item.zone] || item.zone} · ${name}` : name;
    if (item.zone !== undefined) li.dataset.zone = item.zone;
    li.title = item.file;
    li.classList.toggle("playing", item.playing);
    li.addEventListener("dblclick", () => api("POST", `/api/items/${item.index}/play`));
    list.append(li);
  }
}

async function refreshLed() {
  try {
    const blob = await (await api("GET", "/api/wall.png")).blob();
    const url = URL.createObjectURL(blob);
    const led = $("led");
    led.onload = () => {
      // The wall as its audience sees it, in whole LED pixels: as large as the page allows, up to
      // four screen pixels each.
      const room = led.parentElement.clientWidth - 16;
      const scale = Math.max(1, Math.min(4, Math.floor(room / led.naturalWidth)));
      led.style.width = led.naturalWidth * scale + "px";
    };
    led.src = url;
    if (ledUrl) URL.revokeObjectURL(ledUrl);
    ledUrl = url;
  } catch (e) {
    /* the next refresh tries again */
  }
}

function listen() {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  socket = new WebSocket(`${scheme}//${location.host}/api/events`);
  socket.onopen = () => socket.send(JSON.stringify({ token }));
  socket.onmessage = (event) => showStatus(JSON.parse(event.data));
  socket.onclose = () => {
    $("state").textContent = t("offline");
    if (token) setTimeout(listen, 2000);
  };
}

function upload(file) {
  return new Promise((resolve) => {
    const request = new XMLHttpRequest();
    request.open("POST", zonePath("items"));
    request.setRequestHeader("Authorization", "Bearer " + token);
    request.setRequestHeader("X-File-Name", encodeURIComponent(file.name));
    const progress = $("progress");
    progress.hidden = false;
    progress.value = 0;
    request.upload.onprogress = (e) => {
      if (e.lengthComputable) progress.value = (100 * e.loaded) / e.total;
    };
    request.onloadend = () => {
      progress.hidden = true;
      let answer = {};
      try { answer = JSON.parse(request.responseText); } catch (e) { /* not JSON */ }
      const ok = request.status === 201;
      $("message").className = ok ? "message ok" : "message";
      $("message").textContent = (ok ? t("added") : t("failed")) + ": " + file.name +
                                 (ok ? "" : " — " + (answer.error || request.status));
      refreshItems();
      resolve();
    };
    request.send(file);
  });
}

async function uploadAll(files) {
  for (const file of files) await upload(file);
}

function logout(message) {
  token = "";
  sessionStorage.removeItem("tessarinToken");
  if (socket) socket.close();
  $("main").hidden = true;
  $("login").hidden = false;
  $("loginError").textContent = message || "";
}

async function login() {
  try {
    showStatus(await (await api("GET", "/api/status")).json());
  } catch (e) {
    return;
  }
  sessionStorage.setItem("tessarinToken", token);
  $("login").hidden = true;
  $("main").hidden = false;
  await refreshItems();
  refreshLed();
  listen();
}

$("login").addEventListener("submit", (event) => {
  event.preventDefault();
  token = $("token").value.trim();
  login();
});
const moving = ["first", "previous", "next", "last"];
for (const button of document.querySelectorAll("[data-cmd]"))
  button.addEventListener("click", async () => {
    const command = button.dataset.cmd;
    const path = moving.includes(command) ? zonePath(command) : "/api/" + command;
    showStatus(await (await api("POST", path)).json());
  });
$("zone").addEventListener("change", (e) => { zone = Number(e.target.value); });
const drop = $("drop");
drop.addEventListener("dragover", (e) => { e.preventDefault(); drop.classList.add("over"); });
drop.addEventListener("dragleave", () => drop.classList.remove("over"));
drop.addEventListener("drop", (e) => {
  e.preventDefault();
  drop.classList.remove("over");
  uploadAll(e.dataTransfer.files);
});
$("file").addEventListener("change", (e) => uploadAll(e.target.files));
setInterval(() => { if (token) refreshLed(); }, 1000);

if (token) login();
else $("login").hidden = false;

// The page of `kestrix serve`: draws the windows the server streams and sends the user's clicks,
// keys, typed texts and answers back over one WebSocket.
"use strict";

const token = new URLSearchParams(location.search).get("token") || "";
const tokenQuery = token ? "?token=" + encodeURIComponent(token) : "";
const windowsView = document.getElementById("windows");
const roleView = document.getElementById("role");
const notice = document.getElementById("notice");
const boxesView = document.getElementById("boxes");
const bed = document.getElementById("bed");
const jobView = document.getElementById("job");

// What the page knows, also read by the browser tests.
const state = { windows: new Map(), controls: false, boxes: [], focused: null, client: "", jobViews: 0 };
window.kestrix = state;

let socket = null;

function say(text, isError) {
  notice.textContent = text;
  notice.className = isError ? "error" : "";
  notice.hidden = !text;
}

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
}

// The element of a window, made on first sight.
function windowElement(id) {
  let div = document.getElementById("w" + id);
  if (div) return div;
  div = document.createElement("div");
  div.id = "w" + id;
  div.className = "window";
  // A canvas, not an image: a picture being decoded never leaves it blank or sizeless.
  const img = document.createElement("canvas");
  img.width = 0;
  img.height = 0;
  img.addEventListener("mousedown", (e) => onMouseDown(id, img, e));
  div.appendChild(img);
  windowsView.appendChild(div);
  return div;
}

// A point of the shown picture in the window's own pixels.
function pictureCoords(img, e) {
  const r = img.getBoundingClientRect();
  const sx = img.width / r.width || 1;
  const sy = img.height / r.height || 1;
  return { x: Math.floor((e.clientX - r.left) * sx), y: Math.floor((e.clientY - r.top) * sy) };
}

function controlAt(layout, p) {
  for (let i = layout.controls.length - 1; i >= 0; --i) {
    const c = layout.controls[i];
    const [l, t, r, b] = c.rect;
    if (p.x >= l && p.x < r && p.y >= t && p.y < b) return c;
  }
  return null;
}

function focusWindow(id) {
  state.focused = id;
  for (const div of windowsView.children) div.classList.toggle("focused", div.id === "w" + id);
}

function closeEditor(div) {
  for (const el of div.querySelectorAll("input, select")) el.remove();
}

// Edits, lists and sliders are worked in a browser control laid over the picture; what the user
// settles on goes to the window as typing, choosing or dragging would.
function openEditor(id, img, control) {
  const div = windowElement(id);
  closeEditor(div);
  const r = img.getBoundingClientRect();
  const sx = r.width / img.width;
  const sy = r.height / img.height;
  const [l, t, right, b] = control.rect;
  let el;
  if (control.kind === "list") {
    el = document.createElement("select");
    control.items.forEach((item, i) => el.add(new Option(item, String(i), false, i === control.sel)));
    el.addEventListener("change", () => {
      send({ type: "select", window: id, control: control.id, index: Number(el.value) });
      el.remove();
    });
  } else if (control.kind === "slider") {
    el = document.createElement("input");
    el.type = "range";
    el.min = control.min;
    el.max = control.max;
    el.value = control.pos;
    el.addEventListener("change", () => {
      send({ type: "slider", window: id, control: control.id, index: Number(el.value) });
      el.remove();
    });
  } else {
    el = document.createElement("input");
    el.type = "text";
    el.value = control.text;
    el.dataset.control = control.id;
    let done = false;
    const commit = () => {
      if (done) return;
      done = true;
      if (el.value !== control.text) send({ type: "text", window: id, control: control.id, text: el.value });
      el.remove();
    };
    el.addEventListener("keydown", (e) => {
      if (e.key === "Enter" || e.key === "Tab") {
        e.preventDefault();
        commit();
      } else if (e.key === "Escape") {
        done = true;
        el.remove();
      }
      e.stopPropagation();
    });
    el.addEventListener("blur", commit);
  }
  el.addEventListener("blur", () => setTimeout(() => el.remove(), 0));
  el.style.left = l * sx + "px";
  el.style.top = t * sy + "px";
  el.style.width = (right - l) * sx + "px";
  el.style.height = Math.max((b - t) * sy, 20) + "px";
  div.appendChild(el);
  el.focus();
  if (el.select) el.select();
}

function onMouseDown(id, img, e) {
  if (e.button !== 0) return;
  e.preventDefault();
  focusWindow(id);
  if (!state.controls) {
    say("Another page is in control; this one only watches.", true);
    return;
  }
  const p = pictureCoords(img, e);
  const layout = state.windows.get(id);
  const control = layout ? controlAt(layout, p) : null;
  if (control && control.enabled && ["edit", "list", "slider"].includes(control.kind)) {
    openEditor(id, img, control);
    return;
  }
  send({ type: "click", window: id, x: p.x, y: p.y, ctrl: e.ctrlKey, shift: e.shiftKey });
}

document.addEventListener("keydown", (e) => {
  if (state.focused === null || e.target.tagName === "INPUT" || boxesView.children.length) return;
  if (e.key === "Enter" || e.key === "Escape") {
    e.preventDefault();
    send({ type: "key", window: state.focused, key: e.key });
  }
});

function showWindows(list) {
  const ids = new Set(list.map((w) => w.id));
  for (const w of list) {
    state.windows.set(w.id, w);
    const div = windowElement(w.id);
    div.dataset.title = w.title;
    div.title = w.title;
  }
  for (const id of [...state.windows.keys()]) {
    if (ids.has(id)) continue;
    state.windows.delete(id);
    const div = document.getElementById("w" + id);
    if (div) div.remove();
    if (state.focused === id) state.focused = null;
  }
}

// 8 bytes of the window's id (little-endian), then the JPEG.
let pictureCount = 0;
const drawnUpTo = new Map();  // window id -> number of the last picture drawn

async function showPicture(buffer) {
  const view = new DataView(buffer);
  const id = Number(view.getBigUint64(0, true));
  if (!state.windows.has(id)) return;
  const number = ++pictureCount;
  const picture = await createImageBitmap(new Blob([buffer.slice(8)], { type: "image/jpeg" }));
  const div = document.getElementById("w" + id);
  // Pictures decode in parallel: one that finishes after a newer one is dropped.
  if (!div || (drawnUpTo.get(id) || 0) > number) {
    picture.close();
    return;
  }
  drawnUpTo.set(id, number);
  const canvas = div.querySelector("canvas");
  if (canvas.width !== picture.width || canvas.height !== picture.height) {
    canvas.width = picture.width;
    canvas.height = picture.height;
  }
  canvas.getContext("2d").drawImage(picture, 0, 0);
  picture.close();
  canvas.dataset.frames = String(Number(canvas.dataset.frames || 0) + 1);
}

function showBoxes(boxes) {
  state.boxes = boxes;
  boxesView.textContent = "";
  for (const box of boxes) {
    const outer = document.createElement("div");
    outer.className = "box";
    outer.dataset.box = box.id;
    const dialog = document.createElement("div");
    dialog.className = "dialog";
    dialog.setAttribute("role", "alertdialog");
    const caption = document.createElement("div");
    caption.className = "caption";
    caption.textContent = box.caption || "Kestrix";
    const text = document.createElement("div");
    text.className = "text";
    text.textContent = box.text;
    const buttons = document.createElement("div");
    buttons.className = "buttons";
    for (const name of box.buttons) {
      const b = document.createElement("button");
      b.textContent = name;
      b.addEventListener("click", () => send({ type: "answer", box: box.id, button: name }));
      buttons.appendChild(b);
    }
    dialog.append(caption, text, buttons);
    outer.appendChild(dialog);
    boxesView.appendChild(outer);
  }
}

function onMessage(e) {
  if (e.data instanceof ArrayBuffer) {
    showPicture(e.data);
    return;
  }
  const m = JSON.parse(e.data);
  if (m.type === "windows") showWindows(m.windows);
  else if (m.type === "boxes") showBoxes(m.boxes);
  else if (m.type === "machine") {
    state.machine = m;
    document.getElementById("bedView").hidden = !m.simulated;
    // On real devices the simulated head is not the cutter's: only the devices are named.
    document.getElementById("machine").textContent = !m.simulated ? m.name : m.name +
      " \u00b7 head at " + m.head[0] + ", " + m.head[1] + " \u00b7 " + m.cutStrokes + " cut strokes";
  }
  else if (m.type === "job") refreshJob();
  else if (m.type === "role") {
    state.controls = m.controls;
    state.client = m.client;
    roleView.textContent = m.controls ? "You are in control" : "Watching: another page is in control";
    roleView.className = m.controls ? "" : "watching";
  } else if (m.type === "error") say(m.text, true);
  else if (m.type === "done") say(m.text, false);
}

function connect() {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  socket = new WebSocket(scheme + "//" + location.host + "/ws" + tokenQuery);
  socket.binaryType = "arraybuffer";
  socket.addEventListener("open", () => {
    say("", false);
    refreshJob();
  });
  socket.addEventListener("message", onMessage);
  socket.addEventListener("close", () => {
    roleView.textContent = "disconnected";
    roleView.className = "watching";
    say("The connection to kestrix serve is lost; trying again.", true);
    setTimeout(connect, 2000);
  });
}

for (const button of document.querySelectorAll("#menu button")) {
  button.addEventListener("click", () => {
    const command = button.dataset.command;
    const message = { type: "command", name: command };
    if (command === "open" || command === "save") message.file = document.getElementById("file").value;
    if (command === "world") {
      const file = document.getElementById("worldFile").value.trim();
      if (file) message.file = file;
      else {
        message.columns = Number(document.getElementById("columns").value);
        message.rows = Number(document.getElementById("rows").value);
      }
    }
    say("", false);
    send(message);
    button.blur();  // Enter and Escape are for the windows, not to press the menu again
  });
}

// A document from the user's computer becomes the job document; the server reads it as it reads
// files and says what is wrong with one it cannot use.
const upload = document.getElementById("upload");
const maxUploadBytes = 32 * 1024 * 1024;  // as the server allows
upload.addEventListener("change", async () => {
  const file = upload.files[0];
  upload.value = "";
  if (!file) return;
  if (!state.controls) {
    say("Another page is in control; this one only watches.", true);
    return;
  }
  if (file.size > maxUploadBytes) {
    say("document " + file.name + ": " + file.size + " bytes is more than the " + maxUploadBytes +
        " bytes a document may have", true);
    return;
  }
  const query = new URLSearchParams({ name: file.name, client: state.client });
  if (token) query.set("token", token);
  say("Uploading " + file.name + "\u2026", false);
  try {
    const reply = await fetch("document.json?" + query, { method: "POST", body: file });
    say(await reply.text(), !reply.ok);
  } catch (e) {
    say("The upload of " + file.name + " failed: " + e.message, true);
  }
});
document.querySelector("label.upload").addEventListener("keydown", (e) => {
  if (e.key === "Enter" || e.key === " ") upload.click();
});
document.getElementById("download").href = "document.json" + tokenQuery;

// The job is drawn when it changes: at connection, after an open, an upload or a new world.
function refreshJob() {
  const url = "job.png" + (tokenQuery ? tokenQuery + "&" : "?") + "t=" + Date.now();
  jobView.onload = () => {
    document.getElementById("jobView").hidden = false;
    state.jobViews++;
  };
  jobView.onerror = () => {
    document.getElementById("jobView").hidden = true;
  };
  jobView.src = url;
}

// The bed is drawn on request: once a second while the page is visible.
function refreshBed() {
  if (!document.hidden) bed.src = "bed.png" + (tokenQuery ? tokenQuery + "&" : "?") + "t=" + Date.now();
}
setInterval(refreshBed, 1000);
refreshBed();
connect();

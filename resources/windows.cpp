#include "resources/windows.h"

#include "vondrel_config.h"

namespace vondrel {

namespace {

constexpr core::Rgb kWhite{255, 255, 255};
constexpr core::Rgb kBlack{0, 0, 0};
constexpr core::Rgb kPaper{252, 252, 255};

core::MenuItemDef Separator() { return {"", "-"}; }

}  // namespace

const core::WindowDef MainWindow = {
    .name = "MainWindow",
    .caption = "Vondrelv2.0 - 博客：" VONDREL_BLOG_HOST,
    .width = 939,
    .height = 748,
    .resizable = true,
    .control_box = true,
    .min_box = true,
    .max_box = true,
    .icon = true,
    .controls =
        {
            {.name = "标签1", .kind = core::Kind::kLabel, .left = 407, .top = 258, .width = 157, .height = 30,
             .caption = "数据加载中...", .fore = kBlack, .back = kWhite,
             .font = core::Font{"宋体", 16, 400}, .vcenter = true},
            {.name = "图片框1", .kind = core::Kind::kPictureBox, .left = 368, .top = 240, .width = 216, .height = 16,
             .picture = "loading.gif"},
            {.name = "标签2", .kind = core::Kind::kLabel, .left = 0, .top = 1, .width = 936, .height = 679,
             .back = kWhite},
            {.name = "分隔条1", .kind = core::Kind::kSplitter, .left = 0, .top = 0, .width = 1000, .height = 1},
            {.name = "状态条1", .kind = core::Kind::kStatusBar, .left = 8, .top = 8, .width = 526, .height = 20,
             .parts = {{60, "当前状态:"}, {-1, ""}}, .size_grip = true, .tooltips = true, .docked_bottom = true},
            {.name = "超级菜单1", .kind = core::Kind::kSuperMenu, .left = 104, .top = 0, .width = 24, .height = 24,
             .visible = false},
        },
    .menus =
        {
            {kContextMenu, "右键", false,
             {{item::kCtxRefresh, "刷新(&R)"},
              {item::kCtxUndo, "撤消(&U)"},
              Separator(),
              {item::kCtxCut, "剪切(&T)"},
              {item::kCtxCopy, "复制(&C)"},
              {item::kCtxPaste, "粘贴(&P)"},
              {item::kCtxDelete, "删除(&D)"},
              Separator(),
              {item::kCtxSelectAll, "全选(&A)"},
              {item::kCtxAbout, "关于..."}}},
            {"File", "文件(&F)", true,
             {{item::kFileRefresh, "刷新页面(&R)"},
              {item::kFileSaveAs, "页面另存为(&A)"},
              {item::kFileWebVersion, "查看网页版(&W)"},
              Separator(),
              {item::kFilePrint, "打印(&P)"},
              {item::kFilePreview, "打印预览(&V)"},
              {item::kFilePageSetup, "页面设置(&U)"},
              Separator(),
              {item::kFileExit, "退出(&X)"}}},
            {"Help", "帮助(&H)", true,
             {{item::kHelpUpdate, "检查更新(&C)"},
              {item::kHelpMail, "联系邮箱(&E)"},
              {item::kHelpGuestbook, "我要留言(&G)"},
              {item::kHelpHome, "Vondo主页(&W)"},
              Separator(),
              {item::kHelpAbout, "关于 Vondo(&A)..."}}},
        },
};

const core::WindowDef AboutWindow = {
    .name = "AboutWindow",
    .caption = "关于 Vondrel",
    .width = 326,
    .height = 273,
    .icon = true,
    .controls =
        {
            {.name = "超级链接框1", .kind = core::Kind::kHyperlink, .left = 74, .top = 127, .width = 86, .height = 13,
             .back = kPaper, .align = core::Align::kCenter, .target = VONDREL_MAKER_HOST,
             .tab_control = "高级选择夹1", .tab_page = 0},
            {.name = "编辑框1", .kind = core::Kind::kEditBox, .left = 12, .top = 36, .width = 280, .height = 144,
             .fore = kBlack, .back = kWhite, .multiline = true, .read_only = true, .hide_selection = true,
             .border = true, .tab_stop = true, .tab_control = "高级选择夹1", .tab_page = 1},
            {.name = "按钮1", .kind = core::Kind::kButton, .left = 112, .top = 207, .width = 96, .height = 32,
             .caption = "确认(&O)", .align = core::Align::kCenter, .default_button = true, .tab_stop = true},
            {.name = "标签2", .kind = core::Kind::kLabel, .left = 42, .top = 35, .width = 232, .height = 40,
             .caption = "Vondrel", .fore = kBlack, .back = kPaper, .font = core::Font{"微软雅黑", 21, 700},
             .vcenter = true, .engraved = true, .tab_control = "高级选择夹1", .tab_page = 0},
            {.name = "标签1", .kind = core::Kind::kLabel, .left = 45, .top = 79, .width = 232, .height = 96,
             .caption = "版本:2.0\r\n\r\n发布时间:2010-06-13\r\n\r\n网址:" VONDREL_MAKER_HOST
                        "\r\n\r\n版权所有 (C) 2010 Vondo",
             .fore = kBlack, .back = kPaper, .word_wrap = true, .engraved = true, .tab_control = "高级选择夹1",
             .tab_page = 0},
            {.name = "高级选择夹1", .kind = core::Kind::kTabControl, .left = 8, .top = 6, .width = 304, .height = 192,
             .font = core::Font{"SimSun", 12, 400}, .tabs = {"关于", "详细资料"}},
        },
};

const core::WindowDef UpdateWindow = {
    .name = "UpdateWindow",
    .caption = "程序更新进度",
    .width = 333,
    .height = 51,
    .control_box = false,
    .controls =
        {
            {.name = "进度条1", .kind = core::Kind::kProgressBar, .left = 8, .top = 3, .width = 312, .height = 16,
             .range_min = 0, .range_max = 100, .position = 0, .segmented = true},
            {.name = "时钟", .kind = core::Kind::kTimer, .visible = false, .interval = 1000},
        },
};

}  // namespace vondrel

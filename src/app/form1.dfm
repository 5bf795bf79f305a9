object Form1: TForm1
  Left = 192
  Top = 109
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'リソースのコピー'
  ClientHeight = 138
  ClientWidth = 377
  Color = clBtnFace
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'ＭＳ Ｐゴシック'
  Font.Style = []
  FormStyle = fsStayOnTop
  Position = poScreenCenter
  PixelsPerInch = 96
  TextHeight = 12
  object Label1: TLabel
    Left = 16
    Top = 40
    Width = 12
    Height = 12
    Caption = '↓'
  end
  object Edit1: TEdit
    Left = 8
    Top = 16
    Width = 305
    Height = 20
    ReadOnly = True
    TabOrder = 0
    TabStop = False
  end
  object Edit2: TEdit
    Left = 8
    Top = 56
    Width = 305
    Height = 20
    ReadOnly = True
    TabOrder = 2
    TabStop = False
  end
  object SaveBtn1: TButton
    Left = 296
    Top = 96
    Width = 75
    Height = 25
    Caption = '保存...'
    Enabled = False
    TabOrder = 4
    OnClick = SaveBtn1Click
  end
  object OpenBtn1: TButton
    Left = 320
    Top = 14
    Width = 49
    Height = 25
    Caption = '参照...'
    TabOrder = 1
    OnClick = OpenBtn1Click
  end
  object OpenBtn2: TButton
    Left = 319
    Top = 54
    Width = 49
    Height = 25
    Caption = '参照...'
    TabOrder = 3
    OnClick = OpenBtn2Click
  end
  object cbAVI: TCheckBox
    Left = 8
    Top = 88
    Width = 97
    Height = 17
    Caption = 'AVI'
    Checked = True
    State = cbChecked
    TabOrder = 5
  end
  object cbBitmap: TCheckBox
    Left = 104
    Top = 88
    Width = 97
    Height = 17
    Caption = 'Bitmap'
    Checked = True
    State = cbChecked
    TabOrder = 6
  end
  object cbCursor: TCheckBox
    Left = 8
    Top = 112
    Width = 97
    Height = 17
    Caption = 'Cursor'
    Checked = True
    State = cbChecked
    TabOrder = 7
  end
  object cbIcon: TCheckBox
    Left = 104
    Top = 112
    Width = 97
    Height = 17
    Caption = 'Icon'
    Checked = True
    State = cbChecked
    TabOrder = 8
  end
  object OpenDialog1: TOpenDialog
    Filter = 'Win32 PEファイル (*.exe *.dll *.ocx *cpl)|*.exe; *.dll; *.ocx; *cpl;|すべてのファイル (*.*)|*.*;'
    FilterIndex = 0
    Options = [ofHideReadOnly, ofPathMustExist, ofFileMustExist, ofEnableSizing]
    Left = 160
    Top = 96
  end
  object SaveDialog1: TSaveDialog
    Filter = 'Win32 PEファイル (*.exe *.dll *.ocx *cpl)|*.exe; *.dll; *.ocx; *cpl;|すべてのファイル (*.*)|*.*;'
    FilterIndex = 0
    Options = [ofOverwritePrompt, ofHideReadOnly, ofPathMustExist, ofEnableSizing]
    Left = 192
    Top = 96
  end
  object DropDst1: TDropDst
    Control = Edit1
    OnFileDrop = DropDst1FileDrop
    Target = htControl
    Left = 224
    Top = 96
  end
  object DropDst2: TDropDst
    Control = Edit2
    OnFileDrop = DropDst2FileDrop
    Target = htControl
    Left = 256
    Top = 96
  end
end

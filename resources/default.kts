1.62
rows=4,columns=30,=1,=1,=1,=1,
Tree Diagram|Causes Tree
row=0,column=0,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
2,0,1,1,1,1,1,1,1,1,0,0,
Tree Diagram|Uses Tree
row=0,column=2,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
2,1,1,1,1,1,1,1,1,1,0,0,
Loops|Loops
row=0,column=4,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
Document|Document
row=0,column=6,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
0,0,0,0,0,1,0,0,1,1,0,1,0,1,0,0,0,0,1,0,75,,
Outline|Outline
row=0,column=8,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
2,0,1,1,1,1,1,1,1,1,0,0,,
Units Check|Units Check
row=0,column=10,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
Strip Graph|Causes Strip
row=0,column=12,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
0,0,0,1,0,1,1,1,1,1,1,0,0,6,2,0,,,,60,25,40,0,
Graph|Graph
row=0,column=14,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
16,12,2,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,,,,,,,0,1,



Bar Graph|Bar Graph
row=0,column=16,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
0,2,0,0,0,10,NA,NA,,,0,NA,NA,0,0,
Sensitivity Graph|Sensitivity Graph
row=0,column=18,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
-1,1,1,1,1,1,1,1,1,0,0,6,2,0,,,,152,66,0,500,750,950,1000,0,0,0,0,8454143,65280,16711680,8421504,16777215,16777215,16777215,16777215,0,0,0,0,
Gantt|Gantt
row=0,column=20,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
0,658,0,,
Table|Table
row=0,column=22,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
-1,1,1,0,1,1,1,1,1,1,0,0,,30,14,0,0,0,0,0,0,0,0,0,40,,
Table|Table Time Down
row=0,column=24,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
-1,1,1,0,1,1,1,1,1,1,0,0,,10,12,1,0,0,0,0,0,0,0,0,40,,
Stats|Stats
row=0,column=26,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
-1,1,1,1,1,1,1,1,1,1,0,0,,30,10,0,0,0,0,0,0,0,0,0,0,0,0,0,,
Runs Compare|Runs Compare
row=0,column=28,text=-1,face=-1,state=0,x=0,y=0,width=0,height=0,
0,0,0,0,0,0,1,1,0,0,,0,

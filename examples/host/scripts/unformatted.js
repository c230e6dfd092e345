const   greet=( name )=>{ return `こんにちは, ${ name }` }
function sum(a,b,c){return a+b+c}; const list=[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20].map(x=>x*2)
if(list.length>3){console.log(greet("世界"),sum(1,2,3))}else{ console.log('none') }
